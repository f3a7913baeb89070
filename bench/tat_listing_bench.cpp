// Listing a card of 10,000 recordings: the first listing (folder read), listings served from
// the cache, and the once-a-second card poll.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "tat/card_layout.h"
#include "tat/tat_library.h"
#include "tat/tat_writer.h"
#include "tat_bench_util.h"

using namespace locket;

int main(int argc, char** argv) {
    const int recordings = argc > 1 ? std::atoi(argv[1]) : 10000;
    bench::TempFolder temp;
    std::string card = temp.Path() + "/card";
    if (temp.Path().empty() || !CreateCardLayout(card))
        return 1;

    // Small recordings, one key frame each, spread over the four categories.
    double makeMs = bench::BestMs(1, [&] {
        uint8_t frame[256] = {};
        for (int i = 0; i < recordings; ++i) {
            RecordingTime t{
                2014 + i / 100000, 1 + (i / 10000) % 12, 1 + (i / 400) % 25, (i / 60) % 24, i % 60,
                (i * 7) % 60};
            CTatWriter writer;
            TatRecordingDesc desc;
            desc.fps1 = 30;
            if (!writer.Create(RecordingPath(card, i % 4, t, 2), desc) ||
                !writer.WritePacket(0, kTatKindGroupStart, 0, frame, sizeof frame))
                std::exit(1);
        }
    });

    TatHandle handle = TatCreate();
    TatSetMountsFile(handle, "");
    char drive = TatRegisterCardFolder(handle, card.c_str());
    std::vector<char> names;
    std::vector<uint8_t> sizes;
    std::vector<int32_t> extra;
    int listed = 0;
    auto listAll = [&] {
        listed = 0;
        for (int32_t c = 0; c < 4; ++c) {
            int32_t n = TatCountRecordings(handle, drive, c);
            names.assign(size_t(n) * 40, 0);
            sizes.assign(size_t(n) * 8 + 8, 0);
            extra.assign(size_t(n) + 2, 0);
            listed +=
                TatListRecordings(handle, drive, c, n, names.data(), sizes.data(), extra.data());
        }
    };
    double coldMs = bench::BestMs(1, listAll);

    // Make the folders' last change look older than the racy window, as on a card that was
    // written by the recorder and then plugged in.
    for (int32_t c = 0; c < 4; ++c) {
        struct timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 60, 0}};
        ::utimensat(AT_FDCWD, (card + "/" + CategoryFolder(c)).c_str(), old, 0);
    }
    listAll();  // takes the listing once more with the old times
    double cachedMs = bench::BestMs(20, listAll);
    TatCardAttached(handle);
    double refreshMs = bench::BestMs(1, listAll);
    double pollMs = bench::BestMs(1, [&] {
        for (int i = 0; i < 1000; ++i)
            TatPollCard(handle, &drive);
    });
    TatDestroy(handle);

    std::printf("tat listing: %d recordings made in %.0f ms\n", recordings, makeMs);
    std::printf("  first listing of all four categories: %8.2f ms (%d entries)\n", coldMs, listed);
    std::printf("  listing from the cache:               %8.3f ms\n", cachedMs);
    std::printf("  listing after TatCardAttached:        %8.2f ms\n", refreshMs);
    std::printf("  card poll:                            %8.4f ms per call\n", pollMs / 1000);
    std::printf("  first / cached ratio:                 %8.0fx\n", coldMs / cachedMs);
    return 0;
}
