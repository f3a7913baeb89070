// Both converters on the same recordings: what they leave in the folder when every packet was
// copied, when packets were lost (a damaged stretch, the recording gone mid-file) and when they
// were stopped, and that a partial copy never takes the place of a file already there; the clip
// converter's cut, tracks, sensor files and checksums; the names of the files they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "export/avi_converter.h"
#include "export/clip_converter.h"
#include "export/output_file.h"
#include "files/avi_extractor.h"
#include "files/evidence_test_support.h"
#include "files/mp4_writer.h"
#include "files/recording_listing.h"
#include "files/recording_names.h"
#include "tat/tat_test_util.h"

namespace locket {
namespace {

namespace fs = std::filesystem;
using Result = ExportResult;
using test::TempFolder;

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

using Units = std::vector<std::vector<uint8_t>>;

void AddUnits(Units* units, const uint8_t* data, size_t size) {
    for (const auto& [at, n] : AnnexBUnits(data, size))
        units->emplace_back(at, at + n);
}

// The NAL units of one camera's pictures recorded in [fromMs, toMs).
Units RecordedUnits(const std::string& path, int stream, uint32_t fromMs, uint32_t toMs) {
    Units units;
    for (const test::Packet& p : test::ReadPackets(path))
        if (p.stream == stream && p.timeMs >= fromMs && p.timeMs < toMs && p.IsVideo())
            AddUnits(&units, p.data.data(), p.data.size());
    return units;
}

// The NAL units of video track `track` of an MP4, as ffmpeg gives them back.
Units Mp4Units(const std::string& mp4, int track) {
    std::string bytes;
    EXPECT_EQ(0, testsupport::RunCommand("ffmpeg -v error -i " + mp4 + " -map 0:v:" +
                                             std::to_string(track) + " -c copy -f h264 -",
                                         &bytes));
    Units units;
    AddUnits(&units, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return units;
}

constexpr const char* kTracks = "-show_entries stream=codec_type,codec_name:format=duration";

TEST(OutputFile, FilesStayInTheChosenFolderWithTheirOwnExtension) {
    struct Case {
        const char* folder;
        std::string name;
        std::string path;        // ExportPath with ".avi"
        std::string incomplete;  // IncompletePath of that
    };
    const std::string longFolder = "/media/" + std::string(300, 'f');
    const Case cases[] = {
        {"/out", "REC_20240301_083000_D.tat", "/out/REC_20240301_083000_D.avi",
         "/out/REC_20240301_083000_D.incomplete.avi"},
        {"/out/", "EVENT_1.TAT", "/out/EVENT_1.avi", "/out/EVENT_1.incomplete.avi"},
        {"", "MANUAL_1.tat", "MANUAL_1.avi", "MANUAL_1.incomplete.avi"},
        {"/out", "noext", "/out/noext.avi", "/out/noext.incomplete.avi"},
        {"/out", "../../etc/x.tat", "/out/.._.._etc_x.avi", "/out/.._.._etc_x.incomplete.avi"},
        {"/out", "a\\b.tat", "/out/a_b.avi", "/out/a_b.incomplete.avi"},
        {"/out", ".", "", ""},
        {"/out", "", "", ""},
        {longFolder.c_str(), std::string(200, 'n') + ".tat",
         longFolder + "/" + std::string(200, 'n') + ".avi",
         longFolder + "/" + std::string(200, 'n') + ".incomplete.avi"},
    };
    for (const Case& c : cases) {
        const std::string path = ExportPath(c.folder, c.name, ".avi");
        EXPECT_EQ(path, c.path) << c.name;
        if (!path.empty()) {
            EXPECT_EQ(IncompletePath(path), c.incomplete) << c.name;
            EXPECT_EQ(PartPath(path), path + ".part");
        }
    }
    // A dot in a folder is not an extension.
    EXPECT_EQ(IncompletePath("/a.b/clip"), "/a.b/clip.incomplete");
    EXPECT_EQ(ExportPath("/out", "REC_1.tat", ".mp4"), "/out/REC_1.mp4");
}

// Two 10-second recordings of 30 fps; the second has 4 KiB of noise in its middle, the first
// has both cameras.
class Converter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_card = new TempFolder;
        s_made = evidence_test::MakeCard(
            s_card->path() + "/card",
            {"--only", "REC", "--count", "2", "--seconds", "10", "--size", "160x96", "--rear-size",
             "96x64", "--min-kib", "520", "--damage=4096"});
    }
    static void TearDownTestSuite() { delete s_card; }

    void SetUp() override {
        ASSERT_TRUE(s_made);
        card = dir.path() + "/card";
        out = dir.path() + "/out";
        fs::copy(s_card->path() + "/card", card, fs::copy_options::recursive);
        fs::create_directory(out);
        ASSERT_TRUE(avi.UseCard(card));
        ASSERT_TRUE(clip.UseCard(card));
        const auto names = avi.ListRecordings(kAllCategories);
        ASSERT_EQ(names.size(), 2u);
        intact = names[0];
        damaged = names[1];
        ASSERT_TRUE(RecordingHasRear(intact));
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
        if (c.whole && c.result != Result::kWritten)
            EXPECT_EQ(testsupport::ReadText(mine), "earlier whole");
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
            EXPECT_EQ(reader.GetVideoSize(1).width, 96);
            EXPECT_EQ(reader.GetVideoSize(1).height, 64);
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

// Stops and failures leave no file; the clip after them starts at the key picture before the mark.
TEST_F(Converter, StopsAndFailuresLeaveNoFileAndAClipHasTheGroupsTracksSensorsAndChecksums) {
    int asked = 0;
    CClipConverter::Options o;
    o.gpx = true;
    EXPECT_EQ(Result::kStopped, clip.Export(intact, out, o, [&] { return ++asked < 50; }));
    EXPECT_TRUE(FileNames(out).empty());
    EXPECT_TRUE(clip.NotWritten().empty());

    EXPECT_EQ(Result::kNotFound, clip.Export("REC_20990101_000000_D", out, o));
    EXPECT_EQ(std::make_pair(0u, 0u), std::make_pair(clip.ClipStartMs(), clip.ClipEndMs()));
    EXPECT_EQ(Result::kNotFound, clip.Export("../REC/" + intact, out, o));
    EXPECT_EQ(Result::kNotCreated, clip.Export(intact, out + "/missing", o));
    EXPECT_EQ(1u, clip.NotWritten().size());
    EXPECT_TRUE(FileNames(out).empty());
    EXPECT_FALSE(CClipConverter().UseCard(out));

    o.fromMs = 2500;
    o.toMs = 6000;
    o.csv = true;
    int lastFrame = 0, lastTotal = 0;
    // The name as typed: a leading slash, no extension, the camera letter in lower case.
    const std::string stem = CClipConverter::BaseName(intact);
    std::string typed = "/" + stem;
    typed.back() = 'd';
    ASSERT_EQ(Result::kWritten, clip.Export(typed, out, o, {}, [&](int frame, int total) {
        lastFrame = frame;
        lastTotal = total;
    }));
    // Groups of 24 pictures at 30 per second start every 800 ms.
    EXPECT_EQ(2400u, clip.ClipStartMs());
    EXPECT_EQ(6000u, clip.ClipEndMs());
    EXPECT_EQ(std::make_pair(108, 108), std::make_pair(lastFrame, lastTotal));
    EXPECT_EQ(
        (std::vector<std::string>{stem + ".csv", stem + ".gpx", stem + ".mp4", stem + ".sha256"}),
        FileNames(out));
    EXPECT_EQ(4u, clip.Written().size());
    EXPECT_TRUE(clip.NotWritten().empty());

    const std::string source = card + "/REC/" + intact;
    const std::string mp4 = out + "/" + stem + ".mp4";
    const std::string probe = Probe(mp4, kTracks);
    EXPECT_EQ(0u, probe.find("h264,video\nh264,video\naac,audio\n")) << probe;
    const double duration = std::stod(probe.substr(probe.rfind(",audio\n") + 7));
    EXPECT_GE(duration, 3.5 - 0.05) << "never shorter than asked";
    EXPECT_LE(duration, 3.5 + 0.8 + 0.05) << "at most one group longer";
    // The sound runs on without gaps: no 50 ms of the clip, its ends aside, is silent.
    const std::string raw = dir.path() + "/sound.raw";
    std::string printed;
    ASSERT_EQ(0, evidence_test::Shell(
                     "ffmpeg -v error -i " + mp4 + " -map 0:a -ac 1 -ar 8000 -f s16le -y " + raw,
                     &printed));
    const std::vector<uint8_t> pcm = testsupport::ReadBytes(raw);
    ASSERT_GE(pcm.size(), 2u * 8000 * 3);
    const auto* sample = reinterpret_cast<const int16_t*>(pcm.data());
    int silent = 0;
    for (size_t at = 2000; at + 2400 <= pcm.size() / 2; at += 400)
        silent +=
            std::all_of(sample + at, sample + at + 400, [](int16_t v) { return std::abs(v) < 64; });
    EXPECT_EQ(0, silent);
    EXPECT_EQ(RecordedUnits(source, 0, 2400, 6000), Mp4Units(mp4, 0));
    EXPECT_EQ(RecordedUnits(source, 1, 2400, 6000), Mp4Units(mp4, 1));

    EXPECT_TRUE(testsupport::ReadText(out + "/" + stem + ".gpx").ends_with("</gpx>\n"));
    ASSERT_EQ(0, evidence_test::Shell("grep -c '<trkpt' " + out + "/" + stem + ".gpx", &printed));
    EXPECT_EQ("3\n", printed) << "fixes at 3, 4 and 5 s";
    ASSERT_EQ(0, evidence_test::Shell("grep -c g-sensor " + out + "/" + stem + ".csv", &printed));
    EXPECT_EQ("36\n", printed);
    EXPECT_EQ(0,
              evidence_test::Shell("cd " + out + " && sha256sum -c " + stem + ".sha256", &printed))
        << printed;
    EXPECT_NE(std::string::npos, printed.find("/" + intact + ": OK")) << printed;
    EXPECT_NE(std::string::npos, printed.find(stem + ".csv: OK")) << printed;
}

// The rear camera split into a file of its own; the browser plays the front one to its end.
TEST_F(Converter, SplitPutsTheRearCameraInAFileOfItsOwnAndChromiumPlaysTheClipToItsEnd) {
    CClipConverter::Options o;
    o.fromMs = 7000;
    o.split = true;
    ASSERT_EQ(Result::kWritten, clip.Export(intact, out, o));
    const std::string stem = out + "/" + CClipConverter::BaseName(intact);
    EXPECT_EQ(0u, Probe(stem + ".mp4", kTracks).find("h264,video\naac,audio\n"));
    // From the group start at 6.4 s on.
    EXPECT_EQ(RecordedUnits(card + "/REC/" + intact, 1, 6400, UINT32_MAX),
              Mp4Units(stem + "_rear.mp4", 0));
    std::string printed;
    EXPECT_EQ(0,
              evidence_test::Shell("cd " + out + " && sha256sum -c " + stem + ".sha256", &printed))
        << printed;
    const std::string page = out + "/play.html";
    ASSERT_TRUE(testsupport::WriteText(
        page,
        "<!doctype html><video src=\"" + CClipConverter::BaseName(intact) +
            ".mp4\" muted autoplay onended=\"console.log('CLIP ended');window.close()\" "
            "onerror=\"console.log('CLIP error '+this.error.code);window.close()\"></video>"));
    // The browser writes the page's console to its log; the page closes itself at the end.
    evidence_test::Shell(
        "timeout 90 chromium --headless=new --no-sandbox --disable-gpu --no-first-run "
        "--user-data-dir=" +
            dir.path() + "/profile" +
            " --autoplay-policy=no-user-gesture-required --enable-logging=stderr "
            "--allow-file-access-from-files file://" +
            page + " 2>&1 | grep -m1 -o 'CLIP [a-z]*[ 0-9]*'",
        &printed);
    EXPECT_NE(std::string::npos, printed.find("CLIP ended")) << printed;
}

}  // namespace
}  // namespace locket
