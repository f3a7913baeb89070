// Helpers of the evidence tests: cards made by the recorder tool's own entry points, temporary
// folders, whole files, and the recordings of one category folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/external_command.h"
#include "support/temp_dir.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"

extern "C" {
#include <libavutil/log.h>
}

namespace evidence_test {

// libx264 and the muxer report on every file; the tests want only real trouble.
inline const bool kQuietLibav = (av_log_set_level(AV_LOG_ERROR), true);

using locket::testsupport::ReadText;
using locket::testsupport::TempDir;
using locket::testsupport::WriteText;

// Writes a card with the tool's options; fails the test when the tool refuses.
inline bool MakeCard(const std::string& dir, std::vector<const char*> args) {
    args.insert(args.begin(), {"locket-record", dir.c_str(), "--quiet"});
    locket::RecordOptions options;
    std::string error;
    const bool ok =
        locket::ParseRecordOptions(static_cast<int>(args.size()), args.data(), &options, &error) &&
        locket::WriteCard(options, &error) == 0;
    EXPECT_TRUE(ok) << error;
    return ok;
}

// Paths of the recordings in one category folder of a card, sorted.
inline std::vector<std::string> Recordings(const std::string& card, const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(card + "/" + folder, ec))
        paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Runs a command; its exit status, its output (standard error too) in *out.
inline int Shell(const std::string& command, std::string* out) {
    out->clear();
    return locket::testsupport::RunCommand(command + " 2>&1", out);
}

}  // namespace evidence_test
