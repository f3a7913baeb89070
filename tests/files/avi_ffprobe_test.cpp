// Files of the writer as an outside reader sees them: ffprobe must accept them and count the
// video frames that went in. The H.264 material is made here by the ffmpeg command.
#include "avi_test_support.h"
#include "support/external_command.h"

using namespace avi_test;

namespace {

using locket::testsupport::AccessUnits;
using locket::testsupport::RunCommand;

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
    const std::vector<Bytes> units = AccessUnits(ReadBytes(source));
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
