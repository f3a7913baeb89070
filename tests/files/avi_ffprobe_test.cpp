// Files of the writer as an outside reader sees them: ffprobe must accept them and count the
// video frames that went in. The H.264 material is made here by the ffmpeg command.
#include <sys/wait.h>

#include "avi_test_support.h"

using namespace avi_test;

namespace {

// Runs a shell command; returns its exit status and standard output.
int RunCommand(const std::string& command, std::string* out) {
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Splits an Annex B stream made with access unit delimiters at each delimiter's start code
// (00 00 00 01 09: emulation prevention keeps it out of NAL payloads).
std::vector<Bytes> AccessUnits(const Bytes& s) {
    const uint8_t aud[] = {0, 0, 0, 1, 9};
    std::vector<Bytes> units;
    auto at = std::search(s.begin(), s.end(), aud, aud + 5);
    while (at != s.end()) {
        const auto next = std::search(at + 5, s.end(), aud, aud + 5);
        units.emplace_back(at, next);
        at = next;
    }
    return units;
}

}  // namespace

TEST(AviFfprobe, OneAndTwoCamerasWithPcmAudio_AreAcceptedWithAllFrames) {
    TempDir dir;
    const std::string source = dir.File("src.h264");
    std::string log;
    ASSERT_EQ(0, RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=30 "
                            "-frames:v 48 -c:v libx264 -x264-params aud=1 -f h264 " +
                                source + " 2>&1",
                            &log))
        << log;
    const std::vector<Bytes> units = AccessUnits(ReadFile(source));
    ASSERT_EQ(48u, units.size());

    const Bytes pcm = Payload(4000, 7);  // 250 ms of 8 kHz 16-bit samples
    for (bool dual : {false, true}) {
        SCOPED_TRACE(dual ? "two cameras" : "one camera");
        const std::string path = dir.File(dual ? "two.avi" : "one.avi");
        locket::CAVIWriter w;
        Configure(w, dual);
        w.SetVideoSize(0, 160, 120);
        ASSERT_TRUE(w.Create(path.c_str()));
        for (size_t i = 0; i < units.size(); ++i) {
            for (int camera = 0; camera <= int(dual); ++camera)
                ASSERT_TRUE(w.AddData(units[i].data(), uint32_t(units[i].size()), camera));
            ASSERT_TRUE(i % 8 || w.AddData(pcm.data(), uint32_t(pcm.size()), 2));
            ASSERT_TRUE(i % 30 || w.AddData("Mabc", 4, 3));
        }
        ASSERT_GT(w.Close(), 0u);

        std::string video, audio;
        EXPECT_EQ(0, RunCommand("ffprobe -v error -count_frames -select_streams v -show_entries "
                                "stream=codec_name,codec_type,nb_read_frames -of csv=p=0 " +
                                    path,
                                &video));
        EXPECT_EQ(dual ? "h264,video,48\nh264,video,48\n" : "h264,video,48\n", video);
        EXPECT_EQ(0, RunCommand("ffprobe -v error -select_streams a -show_entries "
                                "stream=codec_name,sample_rate,channels -of csv=p=0 " +
                                    path,
                                &audio));
        EXPECT_EQ("pcm_s16le,8000,1\n", audio);
    }
}
