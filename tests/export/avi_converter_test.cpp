// Both converters on the same recordings: what they leave in the folder when every packet was
// copied, when packets were lost (a damaged stretch, the recording gone mid-file) and when they
// were stopped, and that a partial copy never takes the place of a file already there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "export/avi_converter.h"
#include "export/clip_converter.h"
#include "export/output_file.h"
#include "files/avi_extractor.h"
#include "files/evidence_test_support.h"
#include "files/recording_listing.h"
#include "files/recording_names.h"

namespace locket {
namespace {

namespace fs = std::filesystem;
using Result = ExportResult;

using TempFolder = testsupport::TempDir;

// What ffprobe prints about the file, complaints included; "failed" when it fails.
std::string Probe(const std::string& path, const std::string& options) {
    std::string out;
    return testsupport::RunCommand("ffprobe -v error " + options + " -of csv=p=0 " + path + " 2>&1",
                                   &out) == 0
               ? out
               : "failed";
}

std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Two 10-second recordings of 30 fps; the second has 64 KiB of noise in its middle.
class Converter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_card = new TempFolder;
        s_made = evidence_test::MakeCard(
            s_card->path() + "/card",
            {"--only", "REC", "--count", "2", "--seconds", "10", "--damage=65536"});
    }
    static void TearDownTestSuite() { delete s_card; }

    void SetUp() override {
        ASSERT_TRUE(s_made);
        card = dir.path() + "/card";
        out = dir.path() + "/out";
        fs::copy(s_card->path() + "/card", card, fs::copy_options::recursive);
        ASSERT_TRUE(avi.UseCard(card));
        ASSERT_TRUE(clip.UseCard(card));
        const auto names = avi.ListRecordings(kAllCategories);
        ASSERT_EQ(names.size(), 2u);
        intact = names[0];
        damaged = names[1];
    }

    static TempFolder* s_card;
    static bool s_made;
    TempFolder dir;
    std::string card, out, intact, damaged;
    CAviConverter avi;
    CClipConverter clip;
};

TempFolder* Converter::s_card = nullptr;
bool Converter::s_made = false;

// Stopped and incomplete copies take their name only where it is free; a whole copy replaces.
TEST_F(Converter, LostPacketsLeaveAnIncompleteCopyAndPartialCopiesNeverReplaceAFile) {
    struct Case {
        const char* what;
        bool clip;  // the clip converter (MP4, GPX and checksums); else the AVI one
        bool damagedRecording;
        uint32_t toMs;
        bool removeAtFrame10, stopAtFrame10;
        bool whole, incomplete;  // files of the name there before
        Result result;
        bool keptEarlier;
    };
    constexpr uint32_t kAll = UINT32_MAX;
    const Case cases[] = {
        {"intact", false, false, kAll, false, false, false, false, Result::kWritten, false},
        {"damaged in the middle", false, true, kAll, false, false, false, false,
         Result::kIncomplete, false},
        {"removed while copied", false, false, kAll, true, false, false, false, Result::kIncomplete,
         false},
        {"stopped, name free", false, false, kAll, false, true, false, false, Result::kStopped,
         false},
        {"stopped over an earlier file", false, false, kAll, false, true, true, false,
         Result::kStopped, true},
        {"incomplete beside an earlier whole file", false, true, kAll, false, false, true, false,
         Result::kIncomplete, false},
        {"incomplete over an earlier incomplete file", false, true, kAll, false, false, false, true,
         Result::kIncomplete, true},
        {"whole over earlier files", false, false, kAll, false, false, true, true, Result::kWritten,
         false},
        {"clip, damaged stretch passed", true, true, kAll, false, false, false, false,
         Result::kIncomplete, false},
        {"clip before the damage", true, true, 3000, false, false, false, false, Result::kWritten,
         false},
        {"clip over an earlier incomplete clip", true, true, kAll, false, false, false, true,
         Result::kIncomplete, true},
        {"clip of a recording removed while copied", true, false, kAll, true, false, false, false,
         Result::kIncomplete, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directory(out);
        const std::string name = c.damagedRecording ? damaged : intact;
        const std::string stem = CClipConverter::BaseName(name);
        const std::string mine =
            c.clip ? out + "/" + stem + ".mp4" : CAviConverter::DestinationFor(out, name);
        const std::string incomplete = IncompletePath(mine);
        if (c.whole)
            std::ofstream(mine) << "earlier whole";
        if (c.incomplete)
            std::ofstream(incomplete) << "earlier incomplete";
        const std::vector<std::string> before = FileNames(out);

        const std::string source = card + "/REC/" + name;
        if (!fs::exists(source))  // gone with an earlier case
            fs::copy(s_card->path() + "/card/REC/" + name, source);
        int frames = 0;
        const ExportKeepGoing keepGoing = [&] { return !c.stopAtFrame10 || frames < 10; };
        const ExportProgress progress = [&](int frame, int) {
            frames = frame;
            if (c.removeAtFrame10 && frame == 10)
                fs::remove(source);
        };
        ExportReport report;
        if (c.clip) {
            CClipConverter::Options o;
            o.toMs = c.toMs;
            o.gpx = true;
            EXPECT_EQ(c.result, clip.Export(name, out, o, keepGoing, progress));
            EXPECT_TRUE(clip.NotWritten().empty());
            EXPECT_EQ(clip.Written().size(), c.keptEarlier ? 0u : 3u);
            report = clip.Report();
        } else {
            report = avi.Convert(name, mine, keepGoing, progress);
        }
        EXPECT_EQ(report.result, c.result);
        EXPECT_EQ(report.keptEarlier, c.keptEarlier);
        if (c.whole && c.result != Result::kWritten) {
            EXPECT_EQ(testsupport::ReadText(mine), "earlier whole");
        }
        if (c.keptEarlier) {
            EXPECT_EQ(report.file, "");
            EXPECT_EQ(FileNames(out), before) << "the earlier files stay as they were";
            EXPECT_EQ(testsupport::ReadText(c.result == Result::kStopped ? mine : incomplete),
                      c.result == Result::kStopped ? "earlier whole" : "earlier incomplete");
            continue;
        }
        const bool whole = c.result != Result::kIncomplete;
        EXPECT_EQ(report.file, whole ? mine : incomplete);
        // What is left is closed, plays and holds what the report says was copied.
        EXPECT_EQ(Probe(report.file,
                        "-count_frames -count_packets -select_streams v:0 "
                        "-show_entries stream=nb_read_packets"),
                  std::to_string(report.copied.front) + "\n");
        if (!c.clip && RecordingHasRear(name)) {
            // The rear stream's header as the viewer's reader and ffprobe read it; ffprobe takes
            // the picture size from the pictures themselves.
            CAVIExtractor reader;
            ASSERT_NE(0u, reader.OpenMedia(report.file.c_str(), nullptr));
            EXPECT_EQ(reader.GetVideoSize(1).width, 640);
            EXPECT_EQ(reader.GetVideoSize(1).height, 360);
            EXPECT_EQ(Probe(report.file, "-select_streams v:1 -show_entries stream=r_frame_rate"),
                      "30/1\n");
        }
        const std::string mark = whole ? "" : ".incomplete";
        std::vector<std::string> left = {fs::path(report.file).filename().string()};
        if (c.clip)
            left = {stem + mark + ".gpx", stem + mark + ".mp4", stem + mark + ".sha256"};
        if (c.whole && c.result != Result::kWritten)
            left.push_back(fs::path(mine).filename().string());
        if (c.incomplete && c.result != Result::kIncomplete)
            left.push_back(fs::path(incomplete).filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(FileNames(out), left) << "no part files, no earlier file replaced by a partial";
        if (c.result == Result::kWritten) {
            EXPECT_EQ(report.expected.front, c.toMs == 3000 ? 90u : 300u);
            EXPECT_TRUE(report.copied.Covers(report.expected) &&
                        report.expected.Covers(report.copied));
        } else if (c.result == Result::kStopped) {
            EXPECT_EQ(report.copied.front, 10u);
        } else {
            EXPECT_EQ(report.expected.front, 300u);
            EXPECT_LT(report.copied.front, report.expected.front);
            EXPECT_GE(report.copied.front, c.removeAtFrame10 ? 10u : 200u);
        }
        if (c.clip && !c.removeAtFrame10) {
            std::string printed;
            EXPECT_EQ(0, testsupport::RunCommand("cd " + out + " && sha256sum --quiet -c " + stem +
                                                     mark + ".sha256 2>&1",
                                                 &printed))
                << printed;
        }
    }
}

}  // namespace
}  // namespace locket
