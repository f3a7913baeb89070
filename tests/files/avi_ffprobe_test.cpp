// Files of the writer as an outside reader sees them: ffprobe must accept them and count the
// video frames that went in. The H.264 material is made here by the ffmpeg command.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "avi_test_support.h"
#include "files/avi_writer.h"

using namespace avi_test;
using namespace locket;

namespace {

// Runs a shell command; returns its exit status and standard output.
int RunCommand(const std::string& command, std::string* out) {
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        if (out)
            out->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Splits an Annex B stream into access units: a unit starts at an access unit delimiter, SPS,
// PPS or SEI that follows a slice, or at a slice whose first macroblock is 0 after a slice.
std::vector<Bytes> AccessUnits(const Bytes& s) {
    std::vector<size_t> starts;  // offsets of start codes
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1)
            starts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
    std::vector<Bytes> units;
    Bytes current;
    bool hasSlice = false;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t begin = starts[k];
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
        const size_t header = s[begin + 2] == 1 ? begin + 3 : begin + 4;
        if (header >= end)
            continue;
        const int type = s[header] & 0x1F;
        const bool slice = type == 1 || type == 5;
        const bool firstMb = slice && header + 1 < end && (s[header + 1] & 0x80);
        if (hasSlice && ((type >= 6 && type <= 9) || firstMb)) {
            units.push_back(std::move(current));
            current.clear();
            hasSlice = false;
        }
        current.insert(current.end(), s.begin() + begin, s.begin() + end);
        hasSlice |= slice;
    }
    if (!current.empty())
        units.push_back(std::move(current));
    return units;
}

class AviFfprobe : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        const std::string out = s_dir->File("src.h264");
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=30 -frames:v 48 "
            "-c:v libx264 -bsf:v h264_mp4toannexb -f h264 " +
            out + " 2>&1";
        std::string log;
        const int rc = RunCommand(cmd, &log);
        ASSERT_EQ(0, rc) << log;
        s_units = new std::vector<Bytes>(AccessUnits(ReadFile(out)));
    }
    static void TearDownTestSuite() {
        delete s_units;
        delete s_dir;
    }

    // Video stream lines of ffprobe: "video,<frames read>".
    static std::vector<std::string> ProbeVideo(const std::string& path, int* rc) {
        std::string out;
        *rc = RunCommand(
            "ffprobe -v error -count_frames -select_streams v -show_entries "
            "stream=codec_type,codec_name,nb_read_frames -of csv=p=0 " +
                path,
            &out);
        std::vector<std::string> lines;
        size_t at = 0, nl;
        while ((nl = out.find('\n', at)) != std::string::npos) {
            if (nl > at)
                lines.push_back(out.substr(at, nl - at));
            at = nl + 1;
        }
        return lines;
    }

    void WriteFileWith(const std::string& path, bool dual) {
        CAVIWriter w;
        w.SetDualVideo(dual);
        w.SetVideoSize(0, 160, 120);
        w.SetVideoSize(1, 160, 120);
        w.SetFrameRate(0, 30);
        w.SetFrameRate(1, 30);
        ASSERT_TRUE(w.Create(path.c_str()));
        const Bytes pcm = Payload(4000, 7);  // 250 ms of 8 kHz 16-bit samples
        for (size_t i = 0; i < s_units->size(); ++i) {
            const Bytes& u = (*s_units)[i];
            ASSERT_TRUE(w.AddData(u.data(), uint32_t(u.size()), 0));
            if (dual) {
                ASSERT_TRUE(w.AddData(u.data(), uint32_t(u.size()), 1));
            }
            if (i % 8 == 0) {
                ASSERT_TRUE(w.AddData(pcm.data(), uint32_t(pcm.size()), 2));
            }
            if (i % 30 == 0) {
                ASSERT_TRUE(w.AddData("Mabc", 4, 3));
            }
        }
        ASSERT_GT(w.Close(), 0u);
    }

    static TempDir* s_dir;
    static std::vector<Bytes>* s_units;
};

TempDir* AviFfprobe::s_dir = nullptr;
std::vector<Bytes>* AviFfprobe::s_units = nullptr;

}  // namespace

TEST_F(AviFfprobe, SourceSplitsIntoOneAccessUnitPerFrame) {
    ASSERT_EQ(48u, s_units->size());
}

TEST_F(AviFfprobe, OneCameraWithAudio_IsAcceptedWithAllFrames) {
    const std::string path = s_dir->File("one.avi");
    WriteFileWith(path, false);
    int rc = -1;
    const auto lines = ProbeVideo(path, &rc);
    EXPECT_EQ(0, rc);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("h264,video,48", lines[0]);
    std::string audio;
    EXPECT_EQ(0, RunCommand("ffprobe -v error -select_streams a -show_entries "
                            "stream=codec_name,sample_rate,channels -of csv=p=0 " +
                                path,
                            &audio));
    EXPECT_EQ("pcm_s16le,8000,1\n", audio);
}

TEST_F(AviFfprobe, TwoCamerasWithAudio_BothVideoStreamsHaveAllFrames) {
    const std::string path = s_dir->File("two.avi");
    WriteFileWith(path, true);
    int rc = -1;
    const auto lines = ProbeVideo(path, &rc);
    EXPECT_EQ(0, rc);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("h264,video,48", lines[0]);
    EXPECT_EQ("h264,video,48", lines[1]);
}
