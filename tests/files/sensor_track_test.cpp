#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "files/text_data.h"

using namespace locket;

namespace {

// As delivered by the player: the bytes plus a terminating NUL.
TextRecord Feed(CTextData& track, const std::string& packet, int timeMs) {
    return track.AddTextPacket(reinterpret_cast<const uint8_t*>(packet.c_str()),
                               static_cast<int>(packet.size()), timeMs);
}

TextRecord FeedM(CTextData& track, uint8_t x, uint8_t y, uint8_t z, int timeMs) {
    const uint8_t packet[] = {'M', x, y, z, 0};
    return track.AddTextPacket(packet, 4, timeMs);
}

const char kRmc[] = "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394";

}  // namespace

TEST(TextData, GSensorKeepsFirstSamplePerSecondFromSecondOne) {
    CTextData track;
    EXPECT_EQ(kTextIgnored, FeedM(track, 1, 1, 1, 0));
    EXPECT_EQ(kTextIgnored, FeedM(track, 1, 1, 1, 999));
    EXPECT_EQ(kTextIgnored, FeedM(track, 1, 1, 1, -5000));
    EXPECT_EQ(kTextGSensor, FeedM(track, 0x80, 0x00, 0xFF, 1000));
    EXPECT_EQ(kTextIgnored, FeedM(track, 10, 10, 10, 1999)) << "same second";
    // A gap: second 5 with one sample held becomes sample 1.
    EXPECT_EQ(kTextGSensor, FeedM(track, 100, 100, 100, 5400));
    EXPECT_EQ(kTextGSensor, FeedM(track, 120, 120, 120, 5500));
    EXPECT_EQ(kTextIgnored, FeedM(track, 120, 120, 120, 3000));
    // Too short for a sample; only an upper-case type byte counts, in a packet with bytes in it.
    const std::pair<const char*, int> ignored[] = {
        {"M\x01\x02", 3}, {nullptr, 10}, {"B", 0}, {"B", -1}, {"X123", 4}, {"m\x01\x02\x03", 4}};
    for (const auto& [bytes, size] : ignored)
        EXPECT_EQ(kTextIgnored,
                  track.AddTextPacket(reinterpret_cast<const uint8_t*>(bytes), size, 60000))
            << size;

    const std::vector<CGSensorData> all = track.GetGSensor();
    ASSERT_EQ(3u, all.size());
    EXPECT_EQ(std::make_tuple(0, 128, -127), std::tie(all[0].x, all[0].y, all[0].z))
        << "each axis is stored as 128 minus its raw byte";
    EXPECT_EQ(CGSensorData(100, 100, 100), all[1]);
    EXPECT_EQ(CGSensorData(120, 120, 120), all[2]);
    EXPECT_EQ(std::vector<CGSensorData>(all.begin() + 1, all.end()), track.GetGSensor(1, 10));
    EXPECT_TRUE(track.GetGSensor(3, 1).empty());
}

TEST(TextData, OnlyValidRmcFixesAreKeptInArrivalOrder) {
    CTextData track;
    EXPECT_FALSE(track.GetNewestGps(nullptr));
    EXPECT_EQ(kTextGps, Feed(track, kRmc, 0));
    EXPECT_EQ(kTextIgnored, Feed(track, "G$GPRMC,123520,V,4807.038,N,01131.000,E,0,0,230394", 0));
    EXPECT_EQ(kTextIgnored, Feed(track, "g" + std::string(kRmc + 1), 0));
    EXPECT_EQ(kTextGps, Feed(track, "G$GPRMC,123521,A,3730.000,N,12700.000,E,10,0,230394", 0));
    // The GPRMC check reads only the packet's own bytes.
    const uint8_t cut[] = {'G', '$', 'G', 'P', 'R', 'M', 'C', ',', '1'};
    EXPECT_EQ(kTextIgnored, track.AddTextPacket(cut, 6, 0));

    const std::vector<CGPSData> fixes = track.GetGps();
    ASSERT_EQ(2u, fixes.size());
    EXPECT_EQ(19, fixes[0].second);
    EXPECT_EQ(21, fixes[1].second);
    CGPSData newest;
    ASSERT_TRUE(track.GetNewestGps(&newest));
    EXPECT_DOUBLE_EQ(3730.0, newest.latitude);
    track.Clear();
    EXPECT_EQ(0u, track.GpsCount());
    EXPECT_FALSE(track.GetNewestGps(&newest));
}

TEST(TextData, SignalPacketsReplaceAllSevenValuesReadUntilAFieldLacksItsEquals) {
    constexpr int32_t A = kSignalAbsent;
    const struct {
        const char* text;
        SignalValues expected;  // rpm, wat, spd, Accel, Break, TurnSig, GearPos
    } cases[] = {
        {" rpm = 900 ; GearPos=3;Foo=1", {900, A, A, A, A, A, 3}},
        {"rpm=1;wat=2;spd=3;Accel=4;Break=5;TurnSig=-1;GearPos=7", {1, 2, 3, 4, 5, -1, 7}},
        // Each packet starts from absent; a field without '=', or an empty one, ends the decoding.
        {"rpm=900;Accel;spd=40", {900, A, A, A, A, A, A}},
        {"rpm=1;;wat=2", {1, A, A, A, A, A, A}},
        {";rpm=1", {A, A, A, A, A, A, A}},
        // Keys are case-sensitive; values follow atoi and saturate.
        {"RPM=900;break=1;wat=-12.7;spd=abc;Accel=;TurnSig=1=2;=5", {A, -12, 0, 0, A, 1, A}},
        {"rpm=123456789012", {2147483647, A, A, A, A, A, A}},
        {"spd=1;spd=2", {A, A, 2, A, A, A, A}},  // a later field of the same key wins
        {"", {A, A, A, A, A, A, A}},             // only the type byte: an empty record
    };
    CTextData track;
    EXPECT_EQ(NoSignals(), track.GetSignals());
    for (const auto& c : cases) {
        EXPECT_EQ(kTextSignals, Feed(track, std::string("B") + c.text, 0)) << c.text;
        EXPECT_EQ(c.expected, track.GetSignals()) << '"' << c.text << '"';
    }
}

TEST(TextData, PlayerAppendsWhileGuiReadsAndClears) {
    CTextData track;
    constexpr int kSeconds = 3000;
    std::atomic<bool> done{false};
    std::thread player([&] {
        for (int ms = 0; ms < kSeconds * 1000; ms += 250) {
            FeedM(track, static_cast<uint8_t>(ms / 1000), 2, 3, ms);
            if (ms % 1000 == 0)
                Feed(track, kRmc, ms);
            if (ms % 500 == 0)
                Feed(track, "Brpm=" + std::to_string(ms) + ";spd=1", ms);
        }
        done = true;
    });
    // The GUI side sees a consistent, growing prefix of the track.
    size_t lastCount = 0;
    while (!done) {
        const std::vector<CGSensorData> samples = track.GetGSensor();
        ASSERT_GE(samples.size(), lastCount);
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(128 - static_cast<int>((i + 1) & 0xFF), samples[i].x) << i;
        lastCount = samples.size();
        const SignalValues v = track.GetSignals();
        ASSERT_TRUE(v[kSignalRpm] == kSignalAbsent || v[kSignalSpd] == 1);
        CGPSData fix;
        ASSERT_TRUE(!track.GetNewestGps(&fix) || fix.valid == 1);
    }
    player.join();
    EXPECT_EQ(static_cast<size_t>(kSeconds - 1), track.GSensorCount()) << "second 0 has none";
    EXPECT_EQ(static_cast<size_t>(kSeconds), track.GpsCount());

    // Clearing from the GUI while the player appends leaves a track that grows again.
    std::thread again([&] {
        for (int ms = 0; ms < 200 * 1000; ms += 1000)
            FeedM(track, 0, 0, 0, ms);
    });
    track.Clear();
    again.join();
    EXPECT_LE(track.GSensorCount(), 199u);
}
