#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "record_test_support.h"
#include "support/frame_marker.h"
#include "tat/card_layout.h"
#include "tat/tat_library.h"
#include "tat/tat_reader.h"
#include "tools/locket-record/annexb.h"
#include "tools/locket-record/card_plan.h"
#include "tools/locket-record/card_writer.h"
#include "tools/locket-record/record_options.h"

using namespace locket;
using locket::recordtest::TempDir;
using locket::recordtest::TestDecoder;

namespace {

struct Packet {
    uint8_t stream = 0;
    uint8_t kind = 0;
    uint32_t timeMs = 0;
    std::vector<uint8_t> data;
};

// Every packet the TAT reader gives, and the status it ended with.
std::vector<Packet> ReadAll(const std::string& path, int* endStatus = nullptr,
                            bool* scanned = nullptr) {
    std::vector<Packet> out;
    CTatReader reader;
    if (!reader.Open(path))
        return out;
    if (scanned)
        *scanned = reader.Scanned();
    std::vector<uint8_t> buffer(1 << 20);
    for (;;) {
        TatPacketInfo info;
        const int r = reader.ReadPacket(buffer.data(), static_cast<uint32_t>(buffer.size()), &info);
        if (r != kTatPacket) {
            if (endStatus)
                *endStatus = r;
            return out;
        }
        Packet p;
        p.stream = info.stream;
        p.kind = info.kind;
        p.timeMs = info.timeMs;
        p.data.assign(buffer.begin(), buffer.begin() + info.size);
        out.push_back(std::move(p));
    }
}

int MakeCard(std::vector<const char*> args) {
    args.insert(args.begin(), "locket-record");
    RecordOptions options;
    std::string error;
    if (!ParseRecordOptions(static_cast<int>(args.size()), args.data(), &options, &error)) {
        ADD_FAILURE() << error;
        return -1;
    }
    const int r = WriteCard(options, &error);
    EXPECT_EQ(0, r) << error;
    return r;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Listing(TatHandle tat, char drive, int category) {
    const int n = TatCountRecordings(tat, drive, category);
    std::vector<char> names(static_cast<size_t>(std::max(n, 1)) * kTatNameBytes);
    std::vector<uint8_t> sizes(static_cast<size_t>(std::max(n, 1)) * kTatSizeBytes + 8);
    std::vector<int32_t> extra(static_cast<size_t>(n) + 2);
    const int filled =
        TatListRecordings(tat, drive, category, n, names.data(), sizes.data(), extra.data());
    std::vector<std::string> out;
    for (int i = 0; i < filled; ++i)
        out.emplace_back(names.data() + static_cast<size_t>(i) * kTatNameBytes);
    return out;
}

// One small card for the tests that only read: 2 recordings of 3 s per category.
class RecordCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir("card");
        s_made = MakeCard({s_dir->path().c_str(), "--size", "160x120", "--rear-size", "96x64",
                           "--seconds", "3", "--count", "2", "--quiet"}) == 0;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_made); }

    static std::string PathOf(const std::string& listed) {
        const int category = CategoryOfName(listed);
        return JoinPath(JoinPath(s_dir->path(), CategoryFolder(category)), listed + ".tat");
    }

    static TempDir* s_dir;
    static bool s_made;
};
TempDir* RecordCard::s_dir = nullptr;
bool RecordCard::s_made = false;

}  // namespace

TEST_F(RecordCard, CardHasTheLayoutNamesAndSettingsTheLibraryExpects) {
    TatHandle tat = TatCreate();
    const char drive = TatRegisterCardFolder(tat, s_dir->path().c_str());
    ASSERT_NE(0, drive);
    std::map<int, std::vector<std::string>> names;
    for (int category = 0; category < kTatCategoryCount; ++category) {
        names[category] = Listing(tat, drive, category);
        SCOPED_TRACE(category);
        ASSERT_EQ(2u, names[category].size());
        int both = 0;
        for (const std::string& n : names[category]) {
            EXPECT_TRUE(IsRecordingFileName(n)) << n;
            EXPECT_EQ(category, CategoryOfName(n));
            both += n.back() == 'D';
        }
        // Every category of two or more has one- and two-camera recordings.
        EXPECT_EQ(1, both);
    }
    // Continuous recordings follow each other; the parked ones come minutes after the drive.
    EXPECT_EQ("REC_20240301_083000_D", names[kTatContinuous][0]);
    EXPECT_EQ("REC_20240301_083003_F", names[kTatContinuous][1]);
    EXPECT_GT(names[kTatEvent][0].substr(6), "20240301_083000");
    EXPECT_GT(names[kTatParking][0].substr(8), "20240301_083500");

    const std::string cfg = ReadFile(JoinPath(s_dir->path(), kSettingsFile));
    for (const char* key : {"[blackbox]",    "dim_front=d1", "power_off_vlt=",
                            "mic_in=",       "voice_out=",   "acc_level=",
                            "motion_level=", "version=",     "model=",
                            "tat_update=",   "[capacity]",   "const=",
                            "event=",        "park=",        "manual=",
                            "[time]",        "set=",         "year=",
                            "month=",        "day=",         "hour=",
                            "min=",          "sec="})
        EXPECT_NE(std::string::npos, cfg.find(key)) << key;
    // The four shares make the whole card.
    int sum = 0;
    for (const char* key : {"const=", "event=", "park=", "manual="})
        sum += std::atoi(cfg.c_str() + cfg.find(std::string("\n") + key) + 1 + std::strlen(key));
    EXPECT_EQ(100, sum);
    char settings[kTatSettingsBytes];
    int32_t size = kTatSettingsBytes;
    ASSERT_NE(0, TatReadSettings(tat, settings, &size));
    EXPECT_EQ(cfg, std::string(settings, static_cast<size_t>(size)));
    TatDestroy(tat);
}

TEST_F(RecordCard, RecordingsReadBackWithCountsKindsGroupsSoundAndSensors) {
    TatHandle tat = TatCreate();
    const char drive = TatRegisterCardFolder(tat, s_dir->path().c_str());
    for (int category = 0; category < kTatCategoryCount; ++category) {
        for (const std::string& name : Listing(tat, drive, category)) {
            SCOPED_TRACE(name);
            const bool rear = name.back() == 'D';
            uint8_t desc[kTatDescriptionBytes];
            int32_t count0 = 0, count1 = 0;
            uint8_t block244[244], block40[40];
            char counts[kTatCountsTextBytes];
            ASSERT_NE(0, TatQueryRecording(tat, name.c_str(), desc, &count0, &count1, block244,
                                           counts, block40));
            EXPECT_EQ(30, desc[3]);
            EXPECT_EQ(rear ? 30 : 0, desc[4]);
            EXPECT_EQ(120, desc[20] | (desc[21] << 8));
            EXPECT_EQ(160, desc[52] | (desc[53] << 8));
            EXPECT_EQ(rear ? 64 : 0, desc[22] | (desc[23] << 8));
            EXPECT_EQ(rear ? 96 : 0, desc[54] | (desc[55] << 8));
            EXPECT_EQ(90, count0);
            EXPECT_EQ(rear ? 90 : 0, count1);
            EXPECT_STREQ(rear ? "cntVideo0=90; cntVideo1=90; cntAudio=15; cntACC=30; cntGPS=3"
                              : "cntVideo0=90; cntVideo1=0; cntAudio=15; cntACC=30; cntGPS=3",
                         counts);

            const std::vector<Packet> packets = ReadAll(PathOf(name));
            int front = 0, back = 0, audio = 0, gps = 0, acc = 0, signals = 0, maxShock = 0;
            uint32_t lastTime = 0;
            int lastOrder = 0;
            for (const Packet& p : packets) {
                // Time order, and at one time: front, rear, audio, text.
                const int order = p.kind == kTatKindAudio  ? 2
                                  : p.kind == kTatKindText ? 3
                                                           : p.stream;
                ASSERT_TRUE(p.timeMs > lastTime || (p.timeMs == lastTime && order >= lastOrder));
                lastTime = p.timeMs;
                lastOrder = order;
                if (p.kind == kTatKindGroupStart || p.kind == kTatKindVideo) {
                    int& index = p.stream == 0 ? front : back;
                    EXPECT_EQ(static_cast<uint32_t>(index * 1000 / 30), p.timeMs);
                    const bool key = LooksLikeKeyFrame(p.data.data(), p.data.size());
                    EXPECT_EQ(index % 24 == 0, key) << index;
                    // Only front group starts count as kind 0.
                    EXPECT_EQ(p.stream == 0 && key, p.kind == kTatKindGroupStart) << index;
                    ++index;
                } else if (p.kind == kTatKindAudio) {
                    EXPECT_EQ(3200u, p.data.size());
                    EXPECT_EQ(static_cast<uint32_t>(audio * 200), p.timeMs);
                    ++audio;
                } else {
                    ASSERT_EQ(kTatKindText, p.kind);
                    ASSERT_FALSE(p.data.empty());
                    const std::string text(p.data.begin(), p.data.end());
                    if (p.data[0] == 'G') {
                        EXPECT_EQ("GPRMC", text.substr(2, 5));
                        // Local 08:30 is 23:30 UTC the day before.
                        EXPECT_EQ("G$GPRMC,23", text.substr(0, 10));
                        EXPECT_NE(std::string::npos, text.find(",290224,"));
                        ++gps;
                    } else if (p.data[0] == 'M') {
                        ASSERT_EQ(4u, p.data.size());
                        for (int axis = 1; axis <= 3; ++axis)
                            maxShock = std::max(maxShock, std::abs(128 - p.data[axis]));
                        ++acc;
                    } else {
                        ASSERT_EQ('B', p.data[0]);
                        if (category == kTatParking) {
                            EXPECT_EQ(0u, text.find("Brpm=0;"));
                            EXPECT_NE(std::string::npos, text.find(";spd=0;"));
                            EXPECT_NE(std::string::npos, text.find(";GearPos=1"));
                        } else {
                            EXPECT_NE(std::string::npos, text.find(";GearPos=4"));
                        }
                        ++signals;
                    }
                }
            }
            EXPECT_EQ(90, front);
            EXPECT_EQ(rear ? 90 : 0, back);
            EXPECT_EQ(15, audio);
            EXPECT_EQ(3, gps);
            EXPECT_EQ(30, acc);
            EXPECT_EQ(6, signals);
            // Only an event has a knock on the G-sensor.
            if (category == kTatEvent)
                EXPECT_GT(maxShock, 80);
            else
                EXPECT_LT(maxShock, 30);
        }
    }
    TatDestroy(tat);
}

TEST_F(RecordCard, DecodedFramesCarryTheirFrameNumbers) {
    const std::vector<Packet> packets = ReadAll(PathOf("EVENT_20240301_083002_D"));
    ASSERT_FALSE(packets.empty());
    TestDecoder front, rear;
    int frontIndex = 0, rearIndex = 0;
    cv::Mat bgr;
    for (const Packet& p : packets) {
        if (p.kind != kTatKindGroupStart && p.kind != kTatKindVideo)
            continue;
        TestDecoder& decoder = p.stream == 0 ? front : rear;
        int& index = p.stream == 0 ? frontIndex : rearIndex;
        ASSERT_EQ(1, decoder.Decode(p.data.data(), p.data.size(), &bgr)) << index;
        EXPECT_EQ(p.stream == 0 ? 160 : 96, bgr.cols);
        EXPECT_EQ(index, ReadFrameNumber(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step)));
        ++index;
    }
    EXPECT_EQ(90, frontIndex);
    EXPECT_EQ(90, rearIndex);
}

TEST(RecordOne, StartMidGroupOpensWithNonKeyFramesAndKeepsFrameNumbersInFileOrder) {
    TempDir dir("mid");
    ASSERT_EQ(
        0, MakeCard({dir.path().c_str(), "--size", "160x120", "--rear-size", "96x64", "--seconds",
                     "2", "--one", "MANUAL_20240505_101010_D", "--start-mid-group=10", "--quiet"}));
    const std::vector<Packet> packets =
        ReadAll(dir.path() + "/MANUAL/MANUAL_20240505_101010_D.tat");
    std::vector<const Packet*> front;
    for (const Packet& p : packets)
        if (p.stream == 0 && (p.kind == kTatKindGroupStart || p.kind == kTatKindVideo))
            front.push_back(&p);
    ASSERT_EQ(60u, front.size());
    for (size_t i = 0; i < front.size(); ++i) {
        const bool key = (i + 10) % 24 == 0;
        EXPECT_EQ(key, front[i]->kind == kTatKindGroupStart) << i;
        EXPECT_EQ(key, LooksLikeKeyFrame(front[i]->data.data(), front[i]->data.size())) << i;
    }
    // From the first key frame on the pictures decode and show their place in the file.
    TestDecoder decoder;
    cv::Mat bgr;
    for (size_t i = 14; i < front.size(); ++i) {
        if (decoder.Decode(front[i]->data.data(), front[i]->data.size(), &bgr) == 1)
            EXPECT_EQ(static_cast<int>(i),
                      ReadFrameNumber(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step)));
        else
            ADD_FAILURE() << "no picture for packet " << i;
    }
}

TEST(RecordOne, PowerCutAndDamageLeaveFilesThatPlayToTheLastWholePacket) {
    TempDir dir("cut");
    const std::vector<const char*> common = {"--size", "160x120", "--seconds", "2", "--quiet"};
    auto make = [&](const char* folder, std::vector<const char*> extra) {
        std::vector<const char*> args{folder, "--one", "REC_20240301_090000_F"};
        args.insert(args.end(), common.begin(), common.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return MakeCard(args);
    };
    const std::string whole = dir.path() + "/whole", cut = dir.path() + "/cut",
                      damaged = dir.path() + "/damaged";
    ASSERT_EQ(0, make(whole.c_str(), {}));
    ASSERT_EQ(0, make(cut.c_str(), {"--power-cut"}));
    ASSERT_EQ(0, make(damaged.c_str(), {"--damage=3000"}));
    const std::string file = "/REC/REC_20240301_090000_F.tat";

    int status = -1;
    bool scanned = false;
    const std::vector<Packet> all = ReadAll(whole + file, &status, &scanned);
    EXPECT_EQ(kTatEnd, status);
    EXPECT_FALSE(scanned);
    ASSERT_GT(all.size(), 60u);

    // The power cut loses the torn last packet, and the index: the reader scans.
    const std::vector<Packet> afterCut = ReadAll(cut + file, &status, &scanned);
    EXPECT_EQ(kTatEnd, status);
    EXPECT_TRUE(scanned);
    ASSERT_EQ(all.size() - 1, afterCut.size());
    for (size_t i = 0; i < afterCut.size(); ++i)
        ASSERT_EQ(all[i].data, afterCut[i].data) << i;
    EXPECT_LT(std::filesystem::file_size(cut + file), std::filesystem::file_size(whole + file));

    // Damage in the middle costs the packets it hit; reading resumes behind it and reaches the
    // end.
    const std::vector<Packet> afterDamage = ReadAll(damaged + file, &status);
    EXPECT_EQ(kTatEnd, status);
    EXPECT_LT(afterDamage.size(), all.size());
    EXPECT_GT(afterDamage.size(), all.size() / 2);
    ASSERT_FALSE(afterDamage.empty());
    EXPECT_EQ(all.back().data, afterDamage.back().data);
    EXPECT_EQ(all.front().data, afterDamage.front().data);
    EXPECT_EQ(std::filesystem::file_size(damaged + file), std::filesystem::file_size(whole + file));
    EXPECT_NE(ReadFile(damaged + file), ReadFile(whole + file));
}

TEST(RecordOne, SameSeedGivesTheSameBytesAndAnotherSeedOthers) {
    TempDir dir("seed");
    auto make = [&](const std::string& folder, const char* seed) {
        return MakeCard({folder.c_str(), "--size", "96x64", "--rear-size", "96x64", "--seconds",
                         "1", "--only", "EVENT", "--count", "1", "--seed", seed, "--quiet"});
    };
    ASSERT_EQ(0, make(dir.path() + "/a", "5"));
    ASSERT_EQ(0, make(dir.path() + "/b", "5"));
    ASSERT_EQ(0, make(dir.path() + "/c", "6"));
    const std::string file = "/EVENT/EVENT_20240301_083001_D.tat";
    const std::string a = ReadFile(dir.path() + "/a" + file);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, ReadFile(dir.path() + "/b" + file));
    EXPECT_NE(a, ReadFile(dir.path() + "/c" + file));
    // --only makes no other category.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() + "/a/REC"));
}

TEST(CardPlan, TimesCamerasAndTheLastRecordingsDamageFollowTheOptions) {
    auto plan = [](std::vector<const char*> args, std::vector<RecordingPlan>* plans) {
        args.insert(args.begin(), {"locket-record", "card"});
        RecordOptions o;
        std::string error;
        double drive = 0;
        return ParseRecordOptions(static_cast<int>(args.size()), args.data(), &o, &error) &&
               MakeCardPlan(o, plans, &drive, &error);
    };
    std::vector<RecordingPlan> plans;
    ASSERT_TRUE(plan({"--count", "3", "--seconds", "60", "--power-cut", "--damage=99", "--start",
                      "20241231_235930"},
                     &plans));
    ASSERT_EQ(12u, plans.size());
    std::map<int, int> withRear, perCategory;
    for (size_t i = 0; i < plans.size(); ++i) {
        const RecordingPlan& p = plans[i];
        SCOPED_TRACE(p.name);
        ++perCategory[p.category];
        withRear[p.category] += p.rear;
        EXPECT_EQ(p.category == kTatParking, p.parked);
        EXPECT_EQ(p.category == kTatEvent, p.shock);
        // Oldest first; only the newest one is cut and damaged.
        if (i > 0) {
            EXPECT_GE(p.name.substr(p.name.find('_')),
                      plans[i - 1].name.substr(plans[i - 1].name.find('_')));
        }
        EXPECT_EQ(i + 1 == plans.size(), p.powerCut);
        EXPECT_EQ(i + 1 == plans.size() ? 99 : 0, p.damageBytes);
    }
    for (int c = 0; c < kTatCategoryCount; ++c) {
        EXPECT_EQ(3, perCategory[c]);
        EXPECT_EQ(2, withRear[c]);  // mixed: both kinds
    }
    // Back-to-back continuous recordings run over midnight into the new year.
    std::vector<std::string> rec;
    for (const RecordingPlan& p : plans)
        if (p.category == kTatContinuous)
            rec.push_back(p.name);
    EXPECT_EQ((std::vector<std::string>{"REC_20241231_235930_D.tat", "REC_20250101_000030_F.tat",
                                        "REC_20250101_000130_D.tat"}),
              rec);
    EXPECT_EQ("PARKING", plans.back().name.substr(0, 7));

    ASSERT_TRUE(plan({"--no-rear", "--only", "MANUAL"}, &plans));
    ASSERT_EQ(2u, plans.size());
    EXPECT_FALSE(plans[0].rear || plans[1].rear);
    ASSERT_TRUE(plan({"--count", "1"}, &plans));
    for (const RecordingPlan& p : plans)
        EXPECT_TRUE(p.rear) << p.name;
    ASSERT_TRUE(plan({"--one", "parking_20240101_120000_d"}, &plans));
    ASSERT_EQ(1u, plans.size());
    EXPECT_TRUE(plans[0].rear);
    EXPECT_TRUE(plans[0].parked);
    EXPECT_EQ("card/PARKING/parking_20240101_120000_d.tat", plans[0].path);
    // A name that passes the pattern but names no real day.
    EXPECT_FALSE(plan({"--one", "REC_20240231_120000_F"}, &plans));
}

TEST(RecordOne, MinKibFillsSmallRecordingsWithFillerThatReadersSkip) {
    TempDir dir("fill");
    ASSERT_EQ(0,
              MakeCard({dir.path().c_str(), "--size", "96x64", "--rear-size", "96x64", "--seconds",
                        "1", "--one", "REC_20240301_090000_D", "--min-kib", "600", "--quiet"}));
    const std::string path = dir.path() + "/REC/REC_20240301_090000_D.tat";
    EXPECT_GE(std::filesystem::file_size(path), 600u * 1024);
    TatHandle tat = TatCreate();
    const char drive = TatRegisterCardFolder(tat, dir.path().c_str());
    std::vector<uint8_t> sizes(kTatSizeBytes + 8);
    char names[kTatNameBytes];
    int32_t extra[3];
    ASSERT_EQ(1, TatListRecordings(tat, drive, kTatContinuous, 1, names, sizes.data(), extra));
    // Big enough for the viewer's list, which skips files under 512 KiB.
    EXPECT_GE(sizes[0] | (sizes[1] << 8) | (sizes[2] << 16) | (sizes[3] << 24), 524288);
    uint8_t desc[kTatDescriptionBytes], b244[244], b40[40];
    char counts[kTatCountsTextBytes];
    int32_t count0 = 0, count1 = 0;
    ASSERT_NE(0, TatQueryRecording(tat, names, desc, &count0, &count1, b244, counts, b40));
    EXPECT_STREQ("cntVideo0=30; cntVideo1=30; cntAudio=5; cntACC=10; cntGPS=1", counts);
    TatDestroy(tat);
    // The filler comes last, after everything a player uses.
    const std::vector<Packet> packets = ReadAll(path);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(kTatKindText, packets.back().kind);
    EXPECT_EQ('P', packets.back().data[0]);
    EXPECT_GT(packets.back().data.size(), 400000u);
    EXPECT_EQ(30 + 30 + 5 + 10 + 1 + 2 + 1, static_cast<int>(packets.size()));
}
