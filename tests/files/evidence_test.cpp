// Sensor logs, knocks and the files a clip is handed over in (GPX, CSV, checksums, MP4), checked
// by readers nobody here wrote.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "evidence_test_support.h"
#include "files/csv_writer.h"
#include "files/gpx_writer.h"
#include "files/knock_finder.h"
#include "files/mp4_writer.h"
#include "files/sensor_log.h"
#include "files/sha256_manifest.h"
#include "tat/tat_test_util.h"

using namespace locket;
using namespace evidence_test;

namespace {

std::vector<TimedGSensor> Samples(const std::vector<std::tuple<uint32_t, int, int, int>>& list) {
    std::vector<TimedGSensor> out;
    for (const auto& [t, x, y, z] : list)
        out.push_back({t, CGSensorData(uint8_t(128 - x), uint8_t(128 - y), uint8_t(128 - z))});
    return out;
}

const std::string kSchema = std::string(LOCKET_SOURCE_DIR) + "/tests/files/schema/gpx11.xsd";

// The NAL units of an Annex B stream, each as its bytes.
std::vector<std::vector<uint8_t>> Units(const std::vector<uint8_t>& annexB) {
    std::vector<std::vector<uint8_t>> units;
    for (const auto& [p, n] : AnnexBUnits(annexB.data(), annexB.size()))
        units.emplace_back(p, p + n);
    return units;
}

}  // namespace

TEST(KnockFinder, JumpsAtOrAboveThresholdCountOnceWhileRinging) {
    const int k = kKnockJumpUnits;
    struct Case {
        const char* what;
        std::vector<std::tuple<uint32_t, int, int, int>> samples;
        std::vector<uint32_t> knocks;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"one sample", {{0, 100, 100, 100}}, {}},
        {"just under", {{0, 0, 0, 0}, {100, k - 1, 0, 0}}, {}},
        {"exactly at", {{0, 0, 0, 0}, {100, 0, -k, 0}}, {100}},
        {"under, on the diagonal", {{0, 0, 0, 0}, {100, 23, 23, 23}}, {}},
        {"a slow ramp of big total", {{0, 0, 0, 0}, {100, 30, 0, 0}, {200, 60, 0, 0}}, {}},
        {"ringing merged",
         {{0, 0, 0, 0}, {100, 0, 100, 0}, {200, 0, -60, 0}, {300, 0, 40, 0}, {2000, 0, -40, 0}},
         {100}},
        {"two knocks apart", {{0, 0, 0, 0}, {100, 0, 0, 90}, {2100, 0, 0, 0}}, {100, 2100}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.knocks, FindKnocks(Samples(c.samples))) << c.what;
}

// The sensor log's quick pass finds what the packet reader finds, also after damage and on a
// recording cut by a power loss.
TEST(SensorLog, HoldsWhatThePacketReaderReadsOnWholeDamagedAndCutRecordings) {
    const std::vector<const char*> damages[] = {{}, {"--damage=20000"}, {"--power-cut"}};
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.empty() ? "whole" : damage[0]);
        TempDir card;
        std::vector<const char*> args = {"--seconds",   "6",     "--count", "1",
                                         "--only",      "REC",   "--size",  "64x48",
                                         "--rear-size", "64x48", "--rear"};
        args.insert(args.end(), damage.begin(), damage.end());
        ASSERT_TRUE(MakeCard(card.path(), args));
        const std::string path = Recordings(card.path(), "REC").at(0);
        CSensorLog quick, reader;
        ASSERT_TRUE(ReadSensorLog(path, &quick));
        for (const test::Packet& p : test::ReadPackets(path))
            if (p.kind == kTatKindText)
                reader.Add(p.data.data(), p.data.size(), p.timeMs);
        ASSERT_GT(reader.GSensor().size(), 40u);
        ASSERT_EQ(reader.GSensor().size(), quick.GSensor().size());
        for (size_t i = 0; i < reader.GSensor().size(); ++i) {
            EXPECT_EQ(reader.GSensor()[i].timeMs, quick.GSensor()[i].timeMs);
            EXPECT_EQ(reader.GSensor()[i].g, quick.GSensor()[i].g);
        }
        EXPECT_EQ(reader.Fixes().size(), quick.Fixes().size());
        EXPECT_EQ(reader.Signals().size(), quick.Signals().size());
    }
    CSensorLog log;
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("not.tat"), std::string(4096, 'x')));
    EXPECT_FALSE(ReadSensorLog(dir.File("not.tat"), &log));
    EXPECT_FALSE(ReadSensorLog(dir.File("missing.tat"), &log));
}

TEST(GpxWriter, FixTimeIsUtcAndNamesAreEscaped) {
    const std::pair<const char*, const char*> cases[] = {
        {"000007,A,,,,,,,010324", "2024-03-01T00:00:07Z"},  // the recorder's hour is UTC + 9
        {"230007,A,,,,,,,010324", "2024-03-01T23:00:07Z"},  // hour 32, as the parser gives it
        {"080007,A,,,,,,,311299", "1999-12-31T08:00:07Z"},
        {"000007,A,,,,,,,010024", ""},  // no month
    };
    for (const auto& [fields, utc] : cases)
        EXPECT_EQ(utc, FixTimeUtc(CGPSData(std::string("G$GPRMC,") + fields))) << fields;
    EXPECT_EQ("a&amp;b&lt;c&gt;&quot;&apos;\t\n", XmlEscape("a&b<c>\"'\x01\t\n"));
}

// One recording of the tool, read back, with an invalid fix added at its end: its GPX is valid
// and gpsbabel reads every valid fix of the range; Python's csv module reads one row per record.
TEST(SensorExport, GpxAndCsvOfARangeReadBackByOutsideReaders) {
    TempDir card, dir;
    ASSERT_TRUE(MakeCard(card.path(), {"--seconds", "12", "--count", "1", "--only", "REC", "--size",
                                       "32x32", "--no-rear", "--fps", "2"}));
    CSensorLog log;
    ASSERT_TRUE(ReadSensorLog(Recordings(card.path(), "REC").at(0), &log));
    const std::string invalid = "G$GPRMC,083011.00,V,3733.9629,N,12658.6758,E,0.0,0.0,010324";
    log.Add(reinterpret_cast<const uint8_t*>(invalid.data()), invalid.size(), 11500);
    // A valid fix a second: 12 of them in all, 4 from 3 s to 7 s.
    const std::tuple<uint32_t, uint32_t, int> ranges[] = {{0, UINT32_MAX, 12}, {3000, 7000, 4}};
    for (const auto& [from, to, valid] : ranges) {
        const std::string gpx = dir.File("track.gpx");
        ASSERT_TRUE(WriteText(gpx, GpxDocument(log.Fixes(), from, to, "REC <&> \"one\"")));
        std::string out;
        EXPECT_EQ(0, Shell("xmllint --noout --schema " + kSchema + " " + gpx, &out)) << out;
        ASSERT_EQ(0, Shell("gpsbabel -t -i gpx -f " + gpx + " -o unicsv -F -", &out)) << out;
        // unicsv: a header line, then one line per point.
        EXPECT_EQ(valid + 1, std::count(out.begin(), out.end(), '\n')) << out;
        EXPECT_NE(std::string::npos, out.find("37.5")) << out;  // Seoul
    }

    const std::string csv = dir.File("sensors.csv");
    ASSERT_TRUE(WriteText(csv, SensorCsvDocument(log, 2000, 5000)));
    // Python's csv module: rows, distinct widths, rows per kind, and the fix of the first row.
    const std::string script =
        "import csv,sys\n"
        "rows=list(csv.reader(open(sys.argv[1],newline='',encoding='utf-8'),strict=True))\n"
        "print(len(rows)-1, sorted({len(r) for r in rows}), rows[0][0], rows[0][7])\n"
        "print(sum(r[1]=='g-sensor' for r in rows), sum(r[1]=='signals' for r in rows))\n"
        "print(min(float(r[0]) for r in rows[1:]), max(float(r[0]) for r in rows[1:]))\n"
        "print(all(r[13] for r in rows[1:]), sum(float(r[5] or 0)>=0 for r in rows[1:]))\n"
        "g=[r for r in rows[1:] if r[1]=='g-sensor']\n"
        "print(' '.join('%.2f' % sum(float(r[c]) for r in g) for c in (2,3,4)))\n";
    ASSERT_TRUE(WriteText(dir.File("read.py"), script));
    std::string out;
    ASSERT_EQ(0, Shell("python3 " + dir.File("read.py") + " " + csv, &out)) << out;
    double sums[3] = {0, 0, 0};  // the axes in g, summed over the range as the script sums them
    for (const auto& v : log.GSensor()) {
        if (v.timeMs >= 2000 && v.timeMs < 5000) {
            sums[0] += v.g.x / 20.0;
            sums[1] += v.g.y / 20.0;
            sums[2] += v.g.z / 20.0;
        }
    }
    char axes[96];
    std::snprintf(axes, sizeof axes, "%.2f %.2f %.2f\n", sums[0], sums[1], sums[2]);
    // 3 s of the range: 30 g-sensor samples and 6 signal records.
    EXPECT_EQ("36 [" + std::to_string(SensorCsvHeader().size()) +
                  "] time [s] coolant [°C]\n30 6\n2.0 4.9\nTrue 36\n" + axes,
              out);
}

TEST(CsvWriter, FieldsAreQuotedOnlyWhenNeeded) {
    const std::pair<const char*, const char*> cases[] = {
        {"12.5", "12.5"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"l1\r\nl2", "\"l1\r\nl2\""},
        {"°C", "°C"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(out, CsvField(in)) << in;
}

TEST(Sha256Manifest, Sha256sumChecksTheSetAndNoticesAChange) {
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("clip.mp4"), "picture bytes"));
    ASSERT_TRUE(WriteText(dir.File("odd\\name.csv"), std::string(3 << 20, 'x')));
    ASSERT_TRUE(WriteText(dir.File("empty.gpx"), ""));
    CSha256Manifest manifest;
    ASSERT_TRUE(manifest.AddFile(dir.File("clip.mp4"), "clip.mp4"));
    ASSERT_TRUE(manifest.AddFile(dir.File("odd\\name.csv"), "odd\\name.csv"));
    ASSERT_TRUE(manifest.AddFile(dir.File("empty.gpx"), dir.File("empty.gpx")));  // absolute
    EXPECT_FALSE(manifest.AddFile(dir.File("missing"), "missing"));
    ASSERT_TRUE(manifest.Write(dir.File("clip.sha256")));
    std::string out;
    EXPECT_EQ(0, Shell("cd " + dir.path() + " && sha256sum -c clip.sha256", &out)) << out;
    ASSERT_TRUE(WriteText(dir.File("clip.mp4"), "picture bytez"));
    EXPECT_NE(0, Shell("cd " + dir.path() + " && sha256sum -c clip.sha256", &out)) << out;
    EXPECT_NE(std::string::npos, out.find("clip.mp4: FAILED")) << out;
}

TEST(Mp4Writer, AnnexBUnitsAndKeyFrames) {
    const std::vector<uint8_t> au = {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 9};
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{{0x67, 1, 2}, {0x68, 3}, {0x65, 9}}), Units(au));
    EXPECT_TRUE(CMP4Writer::IsKeyFrame(au.data(), au.size()));
    const std::vector<uint8_t> p = {0, 0, 1, 0x41, 7};
    EXPECT_FALSE(CMP4Writer::IsKeyFrame(p.data(), p.size()));
    const uint8_t shortest[] = {0, 0, 1, 0x65}, parameterSetsOnly[] = {0, 0, 1, 0x67, 1};
    EXPECT_TRUE(CMP4Writer::IsKeyFrame(shortest, sizeof shortest));
    EXPECT_FALSE(CMP4Writer::IsKeyFrame(parameterSetsOnly, sizeof parameterSetsOnly));
    // 00 07 01 inside a parameter set is no start code.
    const uint8_t falseStart[] = {0, 0, 1, 0x67, 0, 7, 1, 0x65, 0, 0, 1, 0x41};
    EXPECT_FALSE(CMP4Writer::IsKeyFrame(falseStart, sizeof falseStart));
    // A start code with nothing after it ends the unit before it and makes none.
    EXPECT_EQ(std::vector<std::vector<uint8_t>>{{0x65}}, Units({0, 0, 1, 0x65, 0, 0, 1}));
    CMP4Writer writer;
    EXPECT_EQ(-1, writer.AddVideoTrack(64, 48, 30, p.data(), p.size())) << "no parameter sets";
}

TEST(Mp4Writer, TwoCamerasAndAacReadBackByFfprobeWithTheSamePictures) {
    TempDir card;
    ASSERT_TRUE(MakeCard(card.path(), {"--seconds", "4", "--count", "1", "--only", "REC", "--size",
                                       "96x64", "--rear-size", "64x48", "--rear"}));
    std::vector<test::Packet> media = test::ReadPackets(Recordings(card.path(), "REC").at(0));
    std::erase_if(media, [](const test::Packet& p) { return p.kind == kTatKindText; });
    const auto firstRear = std::find_if(media.begin(), media.end(),
                                        [](const test::Packet& p) { return p.stream == 1; });
    ASSERT_NE(media.end(), firstRear);
    ASSERT_EQ(0, media[0].stream);

    CMP4Writer writer;
    const int front = writer.AddVideoTrack(96, 64, 30, media[0].data.data(), media[0].data.size());
    const int rear =
        writer.AddVideoTrack(64, 48, 30, firstRear->data.data(), firstRear->data.size());
    const int audio = writer.AddAudioTrack(8000);
    ASSERT_EQ((std::vector<int>{0, 1, 2}), (std::vector<int>{front, rear, audio}));
    TempDir out;
    const std::string mp4 = out.File("clip.mp4");
    // 2024-03-01 23:30:00 UTC
    ASSERT_TRUE(writer.Create(
        mp4,
        {.title = "REC one", .make = "Locket", .model = "KX2", .creationTimeUtc = 1709335800}));
    int64_t frames[2] = {0, 0};
    std::vector<uint8_t> frontStream;
    for (const test::Packet& r : media) {
        if (r.kind == kTatKindAudio) {
            ASSERT_TRUE(writer.WriteAudio(audio, reinterpret_cast<const int16_t*>(r.data.data()),
                                          r.data.size() / 2, int64_t{r.timeMs} * 8));
            continue;
        }
        const bool key = CMP4Writer::IsKeyFrame(r.data.data(), r.data.size());
        ASSERT_TRUE(
            writer.WriteVideo(r.stream, r.data.data(), r.data.size(), frames[r.stream]++, key));
        if (r.stream == 0)
            frontStream.insert(frontStream.end(), r.data.begin(), r.data.end());
    }
    ASSERT_TRUE(writer.Close());

    std::string probe;
    ASSERT_EQ(
        0, Shell("ffprobe -v error -show_entries stream=codec_name,nb_frames,sample_rate,duration:"
                 "format_tags=creation_time,com.apple.quicktime.model -of compact " +
                     mp4,
                 &probe));
    // Every picture, and the 4 s of sound to the last sample the encoder held back.
    EXPECT_NE(std::string::npos,
              probe.find("stream|codec_name=h264|duration=4.000000|nb_frames=120\n"
                         "stream|codec_name=h264|duration=4.000000|nb_frames=120\n"
                         "stream|codec_name=aac|sample_rate=8000|duration=4.000000|"))
        << probe;
    EXPECT_NE(std::string::npos, probe.find("2024-03-01T23:30:00")) << probe;
    EXPECT_NE(std::string::npos, probe.find("model=KX2")) << probe;
    // The index stands before the pictures.
    const std::string head = ReadText(mp4).substr(0, 4096);
    EXPECT_LT(head.find("moov"), head.find("mdat")) << "not faststart";

    std::string out264;
    ASSERT_EQ(0, Shell("ffmpeg -v error -i " + mp4 + " -map 0:v:0 -c copy -f h264 " +
                           out.File("front.h264"),
                       &out264))
        << out264;
    const std::string back = ReadText(out.File("front.h264"));
    EXPECT_EQ(Units(frontStream), Units(std::vector<uint8_t>(back.begin(), back.end())));
}
