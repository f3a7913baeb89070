#include "export/clip_converter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/evidence_test_support.h"
#include "files/mp4_writer.h"
#include "tat/tat_test_util.h"

using namespace locket;
using namespace evidence_test;

namespace {

constexpr const char* kName = "REC_20240301_083000_D.tat";

// The NAL units of one camera's pictures recorded in [fromMs, toMs).
std::vector<std::vector<uint8_t>> RecordedUnits(const std::string& path, int stream,
                                                uint32_t fromMs, uint32_t toMs) {
    std::vector<std::vector<uint8_t>> units;
    for (const test::Packet& p : test::ReadPackets(path)) {
        if (p.stream != stream || p.timeMs < fromMs || p.timeMs >= toMs || !p.IsVideo())
            continue;
        for (const auto& [at, n] : AnnexBUnits(p.data.data(), p.data.size()))
            units.emplace_back(at, at + n);
    }
    return units;
}

// The NAL units of video track `track` of an MP4, as ffmpeg gives them back.
std::vector<std::vector<uint8_t>> Mp4Units(const std::string& mp4, int track,
                                           const std::string& scratch) {
    std::string out;
    EXPECT_EQ(0, Shell("ffmpeg -v error -y -i " + mp4 + " -map 0:v:" + std::to_string(track) +
                           " -c copy -f h264 " + scratch,
                       &out))
        << out;
    const std::string bytes = ReadText(scratch);
    std::vector<std::vector<uint8_t>> units;
    for (const auto& [p, n] :
         AnnexBUnits(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
        units.emplace_back(p, p + n);
    return units;
}

std::string Probe(const std::string& mp4) {
    std::string out;
    EXPECT_EQ(0, Shell("ffprobe -v error -show_entries stream=codec_type,codec_name:format="
                       "duration -of csv=p=0 " +
                           mp4,
                       &out))
        << out;
    return out;
}

class ClipExport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_card = new TempDir;
        ASSERT_TRUE(
            MakeCard(s_card->path(), {"--seconds", "10", "--count", "1", "--only", "REC", "--size",
                                      "96x64", "--rear-size", "64x48", "--rear"}));
    }
    static void TearDownTestSuite() {
        delete s_card;
        s_card = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(m_converter.UseCard(s_card->path())); }
    std::string Source() const { return m_converter.FindRecording(kName); }
    std::vector<std::string> OutFiles() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_out.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static TempDir* s_card;
    CClipConverter m_converter;
    TempDir m_out;
};
TempDir* ClipExport::s_card = nullptr;

}  // namespace

TEST_F(ClipExport, ClipFromTheKeyPictureBeforeTheMarkWithTrackSensorsAndChecksums) {
    CClipConverter::Options o;
    o.fromMs = 2500;
    o.toMs = 6000;
    o.gpx = o.csv = true;
    int lastFrame = 0, lastTotal = 0;
    ASSERT_EQ(CClipConverter::Result::kWritten,
              m_converter.Export("/REC_20240301_083000_d", m_out.path(), o, {},
                                 [&](int frame, int total) {
                                     lastFrame = frame;
                                     lastTotal = total;
                                 }));
    // Groups of 24 pictures at 30 per second start every 800 ms.
    EXPECT_EQ(2400u, m_converter.ClipStartMs());
    EXPECT_EQ(6000u, m_converter.ClipEndMs());
    EXPECT_EQ(108, lastFrame);
    EXPECT_EQ(108, lastTotal);
    const std::string stem = "REC_20240301_083000_D";
    EXPECT_EQ(
        (std::vector<std::string>{stem + ".csv", stem + ".gpx", stem + ".mp4", stem + ".sha256"}),
        OutFiles());
    EXPECT_EQ(4u, m_converter.Written().size());
    EXPECT_TRUE(m_converter.NotWritten().empty());

    const std::string mp4 = m_out.File(stem + ".mp4");
    const std::string probe = Probe(mp4);
    EXPECT_EQ(0u, probe.find("h264,video\nh264,video\naac,audio\n")) << probe;
    const double duration = std::stod(probe.substr(probe.rfind(",audio\n") + 7));
    EXPECT_GE(duration, 3.5 - 0.05) << "never shorter than asked";
    EXPECT_LE(duration, 3.5 + 0.8 + 0.05) << "at most one group longer";
    EXPECT_EQ(RecordedUnits(Source(), 0, 2400, 6000), Mp4Units(mp4, 0, m_out.File("f.h264")));
    EXPECT_EQ(RecordedUnits(Source(), 1, 2400, 6000), Mp4Units(mp4, 1, m_out.File("r.h264")));

    std::string out;
    const std::string gpx = m_out.File(stem + ".gpx");
    ASSERT_EQ(0, Shell("grep -c '<trkpt' " + gpx, &out));
    EXPECT_EQ("3\n", out) << "fixes at 3, 4 and 5 s";
    ASSERT_EQ(0, Shell("grep -c g-sensor " + m_out.File(stem + ".csv"), &out));
    EXPECT_EQ("36\n", out);
    EXPECT_EQ(0, Shell("cd " + m_out.path() + " && sha256sum -c " + stem + ".sha256", &out)) << out;
    EXPECT_NE(std::string::npos, out.find(Source().substr(Source().rfind('/')) + ": OK")) << out;
    EXPECT_NE(std::string::npos, out.find(stem + ".csv: OK")) << out;
}

TEST_F(ClipExport, SplitPutsTheRearCameraInAFileOfItsOwn) {
    CClipConverter::Options o;
    o.split = true;
    ASSERT_EQ(CClipConverter::Result::kWritten, m_converter.Export(kName, m_out.path(), o));
    const std::string stem = m_out.File("REC_20240301_083000_D");
    EXPECT_EQ(0u, Probe(stem + ".mp4").find("h264,video\naac,audio\n"));
    EXPECT_EQ(0u, Probe(stem + "_rear.mp4").find("h264,video\n"));
    EXPECT_EQ(RecordedUnits(Source(), 1, 0, UINT32_MAX),
              Mp4Units(stem + "_rear.mp4", 0, m_out.File("r.h264")));
    std::string out;
    EXPECT_EQ(0, Shell("cd " + m_out.path() + " && sha256sum -c " + stem + ".sha256", &out)) << out;
}

TEST_F(ClipExport, StopsAndFailuresLeaveNoFileBehind) {
    int asked = 0;
    CClipConverter::Options o;
    o.gpx = true;
    EXPECT_EQ(CClipConverter::Result::kStopped,
              m_converter.Export(kName, m_out.path(), o, [&] { return ++asked < 50; }));
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_TRUE(m_converter.NotWritten().empty());

    EXPECT_EQ(CClipConverter::Result::kNotFound,
              m_converter.Export("REC_20990101_000000_D", m_out.path(), o));
    EXPECT_EQ(std::make_pair(0u, 0u),
              std::make_pair(m_converter.ClipStartMs(), m_converter.ClipEndMs()));
    EXPECT_EQ(CClipConverter::Result::kNotFound,
              m_converter.Export("../REC/" + std::string(kName), m_out.path(), o));
    EXPECT_EQ(CClipConverter::Result::kNotCreated,
              m_converter.Export(kName, m_out.File("missing"), o));
    EXPECT_EQ(1u, m_converter.NotWritten().size());
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_FALSE(CClipConverter().UseCard(m_out.path()));
}

TEST_F(ClipExport, ChromiumPlaysTheClipToItsEnd) {
    CClipConverter::Options o;
    o.fromMs = 7000;
    ASSERT_EQ(CClipConverter::Result::kWritten, m_converter.Export(kName, m_out.path(), o));
    const std::string page = m_out.File("play.html");
    ASSERT_TRUE(WriteText(
        page,
        "<!doctype html><video src=\"REC_20240301_083000_D.mp4\" muted autoplay "
        "onended=\"console.log('CLIP ended');window.close()\" "
        "onerror=\"console.log('CLIP error '+this.error.code);window.close()\"></video>"));
    // The browser writes the page's console to its log; the page closes itself at the end.
    std::string out;
    Shell(
        "timeout 90 chromium --headless=new --no-sandbox --disable-gpu --no-first-run "
        "--user-data-dir=" +
            m_out.File("profile") +
            " --autoplay-policy=no-user-gesture-required --enable-logging=stderr "
            "--allow-file-access-from-files file://" +
            page + " 2>&1 | grep -m1 -o 'CLIP [a-z]*[ 0-9]*'",
        &out);
    EXPECT_NE(std::string::npos, out.find("CLIP ended")) << out;
}
