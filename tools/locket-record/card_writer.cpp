#include "tools/locket-record/card_writer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "tat/card_layout.h"
#include "tools/locket-record/card_plan.h"
#include "tools/locket-record/drive_model.h"
#include "tools/locket-record/recording_writer.h"
#include "tools/locket-record/settings_file.h"

namespace locket {

namespace {

struct Outcome {
    bool ok = false;
    RecordingStats stats;
    std::string error;
};

}  // namespace

int WriteCard(const RecordOptions& options, std::string* error) {
    std::vector<RecordingPlan> plans;
    double driveSeconds = 0;
    if (!MakeCardPlan(options, &plans, &driveSeconds, error))
        return 1;
    std::error_code ec;
    std::filesystem::create_directories(options.cardDir, ec);
    if (!CreateCardLayout(options.cardDir)) {
        *error = "cannot make the card folders in " + options.cardDir;
        return 1;
    }
    if (!WriteSettingsFiles(options, error))
        return 1;
    std::vector<std::string> moved;
    TakeFreeSeconds(options.cardDir, &plans, &moved);
    for (const std::string& note : moved)
        std::fprintf(stderr, "locket-record: %s\n", note.c_str());

    const CDriveModel drive(options.seed, driveSeconds);
    std::vector<Outcome> outcomes(plans.size());
    std::atomic<size_t> next{0};
    auto work = [&]() {
        for (size_t i = next++; i < plans.size(); i = next++)
            outcomes[i].ok =
                WriteRecording(plans[i], options, drive, &outcomes[i].stats, &outcomes[i].error);
    };
    const size_t workers = std::min<size_t>(static_cast<size_t>(options.jobs), plans.size());
    std::vector<std::thread> threads;
    for (size_t i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();

    std::string failures;
    int small = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        const RecordingPlan& p = plans[i];
        const Outcome& r = outcomes[i];
        if (!r.ok) {
            failures += (failures.empty() ? "" : "\n") + p.name + ": " + r.error;
            continue;
        }
        if (!options.quiet) {
            std::printf("%s/%s  %d+%d frames, %d audio, %d text, %.1f MB%s%s\n",
                        CategoryFolder(p.category), p.name.c_str(), r.stats.frontFrames,
                        r.stats.rearFrames, r.stats.audioPackets, r.stats.textPackets,
                        r.stats.bytes / 1048576.0, p.powerCut ? ", cut by power loss" : "",
                        p.damageBytes > 0 ? ", damaged" : "");
        }
        if (!r.stats.reencoded.empty()) {
            std::fprintf(stderr,
                         "locket-record: %s: the footage was encoded anew with a key frame every "
                         "24 pictures and no B-frames, as the recorder writes, since %s\n",
                         p.name.c_str(), r.stats.reencoded.c_str());
        }
        // The viewer leaves files under 512 KiB out of its list.
        if (r.stats.bytes < 512 * 1024)
            ++small;
        if (r.stats.oddNonKey > 0) {
            std::printf(
                "note: %d non-key pictures of the footage do not open with a P slice "
                "(0x41); the viewer takes them for key frames\n",
                r.stats.oddNonKey);
        }
    }
    if (small > 0 && !options.quiet) {
        std::printf(
            "note: %d recordings are smaller than 512 KiB, which the viewer does not list "
            "(--min-kib 512 fills them up)\n",
            small);
    }
    if (!failures.empty()) {
        *error = failures;
        return 1;
    }
    return 0;
}

}  // namespace locket
