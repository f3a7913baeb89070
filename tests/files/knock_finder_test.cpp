#include "files/knock_finder.h"

#include <gtest/gtest.h>

#include "evidence_test_support.h"
#include "tat/tat_test_util.h"

using namespace locket;
using namespace evidence_test;

namespace {

std::vector<TimedGSensor> Samples(const std::vector<std::tuple<uint32_t, int, int, int>>& list) {
    std::vector<TimedGSensor> out;
    for (const auto& [t, x, y, z] : list) {
        out.push_back({t, {}});
        std::tie(out.back().g.x, out.back().g.y, out.back().g.z) = std::tie(x, y, z);
    }
    return out;
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
