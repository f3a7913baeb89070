#include <gtest/gtest.h>

#include <map>

#include "record_test_support.h"
#include "tat/card_layout.h"
#include "tat/tat_format.h"
#include "tools/locket-record/card_plan.h"

using namespace locket;
using namespace locket::recordtest;

// One small card, 2 recordings of 3 s per category, read back through the library: layout,
// names and settings; then every recording's summary, packet order and kinds, key-frame groups
// of 24, sound, sensor texts, filler, and pictures that decode to their own frame number.
TEST(RecordCard, CardReadsBackWithLayoutNamesSettingsCountsKindsGroupsSoundSensorsAndFrames) {
    TempDir dir("card");
    ASSERT_TRUE(MakeCard(dir.path(), {"--size", "160x120", "--rear-size", "96x64", "--seconds", "3",
                                      "--count", "2", "--min-kib", "600"}));
    const std::unique_ptr<TatLibrary, void (*)(TatHandle)> tat(TatCreate(), TatDestroy);
    const char drive = TatRegisterCardFolder(tat.get(), dir.path().c_str());
    ASSERT_NE(0, drive);

    const std::string cfg = ReadText(JoinPath(dir.path(), kSettingsFile));
    for (const char* key :
         {"[blackbox]", "dim_front=d1", "power_off_vlt=", "mic_in=", "voice_out=", "acc_level=",
          "motion_level=", "version=", "model=", "tat_update=", "[capacity]", "[time]",
          "set=", "year=", "month=", "day=", "hour=", "min=", "sec="})
        EXPECT_NE(std::string::npos, cfg.find(key)) << key;
    int shares = 0;  // the four capacity shares make the whole card
    for (std::string key : {"const=", "event=", "park=", "manual="}) {
        const size_t at = cfg.find("\n" + key);
        ASSERT_NE(std::string::npos, at) << key;
        shares += std::atoi(cfg.c_str() + at + 1 + key.size());
    }
    EXPECT_EQ(100, shares);
    char settings[kTatSettingsBytes];
    int32_t size = kTatSettingsBytes;
    ASSERT_NE(0, TatReadSettings(tat.get(), settings, &size));
    EXPECT_EQ(cfg, std::string(settings, static_cast<size_t>(size)));

    std::map<int, std::vector<std::string>> names;
    for (int category = 0; category < kTatCategoryCount; ++category) {
        names[category] =
            List(tat.get(), drive, category, TatCountRecordings(tat.get(), drive, category));
        ASSERT_EQ(2u, names[category].size()) << category;
        int twoCameras = 0;
        for (const std::string& name : names[category]) {
            SCOPED_TRACE(name);
            EXPECT_EQ(category, CategoryOfName(name));
            const bool rear = name.ends_with("D.tat");
            twoCameras += rear;
            const RecordingInfo info = QueryRecording(tat.get(), name.c_str());
            ASSERT_TRUE(info.ok);
            EXPECT_EQ(std::make_tuple(30, 160, 120, 90), info.Camera(0));
            EXPECT_EQ(rear ? std::make_tuple(30, 96, 64, 90) : std::make_tuple(0, 0, 0, 0),
                      info.Camera(1));
            EXPECT_EQ(std::string("cntVideo0=90; cntVideo1=") + (rear ? "90" : "0") +
                          "; cntAudio=15; cntACC=30; cntGPS=3",
                      info.counts);

            CFFMH264_Decoder decoders[2];
            int frames[2] = {0, 0}, audio = 0, signals = 0, maxShock = 0;
            uint32_t lastTime = 0;
            int lastOrder = 0;
            const std::string path = JoinPath(JoinPath(dir.path(), CategoryFolder(category)), name);
            // Filler makes a small recording big enough for the viewer's list (512 KiB at least).
            EXPECT_GE(std::filesystem::file_size(path), 600u * 1024);
            const std::vector<Packet> packets = ReadPackets(path);
            for (const Packet& p : packets) {
                // Time order, and at one time: front, rear, audio, text (GPS, G-sensor, signals).
                const int order = p.kind == kTatKindAudio ? 2
                                  : p.kind == kTatKindText
                                      ? 3 + int(std::string_view("GMBP").find(char(p.data.at(0))))
                                      : p.stream;
                ASSERT_TRUE(p.timeMs > lastTime || (p.timeMs == lastTime && order >= lastOrder));
                lastTime = p.timeMs;
                lastOrder = order;
                if (p.IsVideo()) {
                    ASSERT_LT(p.stream, 2);
                    ExpectPicture(p, frames[p.stream]++, 30, decoders[p.stream]);
                } else if (p.kind == kTatKindAudio) {
                    EXPECT_EQ(3200u, p.data.size());  // at most 3840 fit the player's buffer
                    EXPECT_EQ(static_cast<uint32_t>(audio++ * 200), p.timeMs);
                } else {
                    ASSERT_EQ(kTatKindText, p.kind);
                    const std::string text(p.data.begin(), p.data.end());
                    if (p.data[0] == 'G') {
                        // Local 08:30 is 23:30 UTC the day before.
                        EXPECT_EQ("G$GPRMC,23", text.substr(0, 10));
                        EXPECT_NE(std::string::npos, text.find(",290224,"));
                    } else if (p.data[0] == 'M') {
                        ASSERT_EQ(4u, p.data.size());
                        for (int axis = 1; axis <= 3; ++axis)
                            maxShock = std::max(maxShock, std::abs(128 - p.data[axis]));
                    } else if (p.data[0] == 'P') {
                        EXPECT_EQ(&packets.back(), &p) << "filler after all a player uses";
                    } else {
                        ASSERT_EQ('B', p.data[0]);
                        const bool parked = category == kTatParking;
                        EXPECT_EQ(parked, text.starts_with("Brpm=0;") &&
                                              text.find(";spd=0;") != std::string::npos)
                            << text;
                        EXPECT_TRUE(text.ends_with(parked ? ";GearPos=1" : ";GearPos=4")) << text;
                        ++signals;
                    }
                }
            }
            EXPECT_EQ(6, signals);  // the counts above leave the signals and the filler out
            // Only an event has a knock on the G-sensor.
            if (category == kTatEvent)
                EXPECT_GT(maxShock, 80);
            else
                EXPECT_LT(maxShock, 30);
        }
        EXPECT_EQ(1, twoCameras) << "one- and two-camera recordings in every category";
    }
    // Continuous recordings follow each other; the parked ones come minutes after the drive.
    EXPECT_EQ("REC_20240301_083000_D.tat", names[kTatContinuous][0]);
    EXPECT_EQ("REC_20240301_083003_F.tat", names[kTatContinuous][1]);
    EXPECT_GT(names[kTatEvent][0].substr(6), "20240301_083000");
    EXPECT_GT(names[kTatParking][0].substr(8), "20240301_083500");
}

// Power cut, damage, seed and a start within a group, each on the same small recording.
TEST(RecordOne, PowerCutDamageSeedAndStartMidGroupShapeTheFile) {
    TempDir dir("one");
    auto make = [&](const char* folder, const char* extra = "--quiet") {
        MakeCard(dir.path() + folder,
                 {"--one", "REC_20240301_090000_F", "--size", "160x120", "--seconds", "2", extra});
        return dir.path() + folder + "/REC/REC_20240301_090000_F.tat";
    };
    const std::string whole = make("/whole"), cut = make("/cut", "--power-cut"),
                      damaged = make("/damaged", "--damage=3000");

    int status = -1;
    bool scanned = true;
    const std::vector<Packet> all = ReadPackets(whole, &status, &scanned);
    EXPECT_EQ(kTatEnd, status);
    EXPECT_FALSE(scanned);
    ASSERT_GT(all.size(), 60u);
    EXPECT_EQ(ReadText(whole), ReadText(make("/again"))) << "the same seed";
    EXPECT_NE(ReadText(whole), ReadText(make("/seed", "--seed=6")));

    // Started within a group, it opens with non-key pictures; from the first key frame on they
    // decode and show their place in the file.
    CFFMH264_Decoder decoder;
    int frame = 0;
    for (const Packet& p : ReadPackets(make("/mid", "--start-mid-group=10")))
        if (p.IsVideo())
            ExpectPicture(p, frame++, 30, decoder, 10);
    EXPECT_EQ(60, frame);

    // The power cut loses the torn last packet, and the index: the reader scans.
    const std::vector<Packet> afterCut = ReadPackets(cut, &status, &scanned);
    EXPECT_TRUE(scanned);
    ASSERT_EQ(all.size() - 1, afterCut.size());
    for (size_t i = 0; i < afterCut.size(); ++i)
        ASSERT_EQ(all[i].data, afterCut[i].data) << i;
    // Half of the last packet, its 28-byte header counted, stays behind the whole ones.
    EXPECT_EQ(test::PacketOffset(all, all.size() - 1) +
                  (tatfmt::kPacketHeaderBytes + all.back().data.size()) / 2,
              std::filesystem::file_size(cut));

    // Damage in the middle costs the packets it hit; reading resumes behind it to the end.
    const std::vector<Packet> afterDamage = ReadPackets(damaged);
    EXPECT_LT(afterDamage.size(), all.size());
    ASSERT_GT(afterDamage.size(), all.size() / 2);
    EXPECT_EQ(all.back().data, afterDamage.back().data);
    EXPECT_EQ(all.front().data, afterDamage.front().data);
    EXPECT_EQ(std::filesystem::file_size(damaged), std::filesystem::file_size(whole));
    EXPECT_NE(ReadText(make("/byte", "--damage=1")), ReadText(whole)) << "the least damage";
}

TEST(CardPlan, TimesCamerasAndTheLastRecordingsDamageFollowTheOptions) {
    std::vector<RecordingPlan> plans;
    auto plan = [&](std::vector<const char*> args) {
        args.insert(args.begin(), "card");
        RecordOptions o;
        std::string error;
        double drive = 0;
        return Parse(args, &o, &error) && MakeCardPlan(o, &plans, &drive, &error);
    };
    ASSERT_TRUE(plan({"--count", "3", "--seconds", "60", "--power-cut", "--damage=99", "--start",
                      "20241231_235930"}));
    ASSERT_EQ(12u, plans.size());
    std::vector<std::string> continuous;
    for (size_t i = 0; i < plans.size(); ++i) {
        const RecordingPlan& p = plans[i];
        SCOPED_TRACE(p.name);
        // Oldest first; only the newest one is cut and damaged.
        if (i > 0) {
            EXPECT_GE(p.name.substr(p.name.find('_')),
                      plans[i - 1].name.substr(plans[i - 1].name.find('_')));
        }
        EXPECT_EQ(i + 1 == plans.size(), p.powerCut);
        EXPECT_EQ(i + 1 == plans.size() ? 99 : 0, p.damageBytes);
        if (p.category == kTatContinuous)
            continuous.push_back(p.name);
    }
    // Back-to-back continuous recordings run over midnight into the new year, cameras mixed.
    EXPECT_EQ((std::vector<std::string>{"REC_20241231_235930_D.tat", "REC_20250101_000030_F.tat",
                                        "REC_20250101_000130_D.tat"}),
              continuous);

    ASSERT_TRUE(plan({"--no-rear", "--only", "MANUAL"}));
    ASSERT_EQ(2u, plans.size());
    EXPECT_FALSE(plans[0].rear || plans[1].rear);
    ASSERT_TRUE(plan({"--one", "parking_20240101_120000_d"}));
    ASSERT_EQ(1u, plans.size());
    EXPECT_TRUE(plans[0].rear && plans[0].parked);
    EXPECT_EQ("card/PARKING/parking_20240101_120000_d.tat", plans[0].path);
    EXPECT_FALSE(plan({"--one", "REC_20240231_120000_F"})) << "passes the pattern, no real day";
}
