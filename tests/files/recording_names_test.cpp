// What a recording's name tells, which recordings of a card are listed, and the trips and routes
// they make: the rules the list, the player and the export share.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "evidence_test_support.h"
#include "files/recording_listing.h"
#include "files/recording_names.h"
#include "files/route.h"
#include "files/trip_grouping.h"
#include "files/trip_index.h"
#include "support/temp_dir.h"
#include "tat/card_layout.h"

namespace locket {
namespace {

TEST(RecordingNames, TypeDateAndRearColumnsFollowTheNameFields) {
    struct Case {
        const char* name;
        const char* type;
        const char* date;
        bool rear;
    };
    const Case cases[] = {
        {"EVENT_20140301_093000_D1.ext", "EVT", "2014.03.01 09:30:00", true},
        {"rec_20140301_093000_F", "REC", "2014.03.01 09:30:00", false},
        {"Parking_20231231_235959_d.tat", "PAK", "2023.12.31 23:59:59", true},
        {"MANUAL_20240102_030405_D.tat", "MAN", "2024.01.02 03:04:05", true},
        // The parser's name forms: a leading '/', a trailing index.
        {"/EVT_20140301_101500_d, 3", "/EVT", "2014.03.01 10:15:00", true},
        // Unknown kinds keep their word; short and missing fields give short or empty pieces.
        {"DUMMY_2014_0930", "DUMMY", "2014.14.14 09:30:30", false},
        {"noseparators", "noseparators", ".. ::", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecordingTypeCode(c.name), c.type) << c.name;
        EXPECT_EQ(RecordingDateText(c.name), c.date) << c.name;
        EXPECT_EQ(RecordingHasRear(c.name), c.rear) << c.name;
    }
    EXPECT_TRUE(RecordingNewerThan("EVENT_20240301_083001_D.tat", "REC_20240301_083000_F.tat"));
    EXPECT_FALSE(RecordingNewerThan("EVENT_20240301_083000_D", "REC_20240301_083000_F"));
    EXPECT_TRUE(RecordingNewerThan("REC_20250101_000000_F", "REC_20241231_235959_F"));
}

// Sizes read in 64 bits (a sparse file of 3 GiB stands for a long recording), and the 512 KiB
// floor: a file of exactly 524288 bytes is listed, one byte less is not.
TEST(RecordingListing, SizesOf64BitsAndTheFloorOf512KiB) {
    const testsupport::TempDir dir("listing");
    const std::string& root = dir.path();
    ASSERT_TRUE(CreateCardLayout(root));
    struct Case {
        int32_t category;
        const char* name;
        int64_t bytes;
        bool listed;
    };
    const Case cases[] = {
        {kTatEvent, "EVENT_20240301_083000_D.tat", 3LL << 30, true},
        {kTatEvent, "EVENT_20240301_083100_D.tat", 5LL << 30, true},
        {kTatContinuous, "REC_20240301_083000_F.tat", kMinListedBytes, true},
        {kTatContinuous, "REC_20240301_083100_F.tat", kMinListedBytes - 1, false},
        {kTatParking, "PARKING_20240301_083000_F.tat", 0, false},
        {kTatManual, "manual_20240301_083000_d.tat", 2LL << 30, true},
    };
    std::vector<std::string> all;
    for (const Case& c : cases) {
        const std::string path = JoinPath(JoinPath(root, CategoryFolder(c.category)), c.name);
        ASSERT_TRUE(testsupport::WriteText(path, "")) << path;
        std::filesystem::resize_file(path, c.bytes);  // sparse
        if (c.listed)
            all.push_back(c.name);
    }
    TatHandle tat = TatCreate();
    TatSetMountsFile(tat, "");
    const char drive = TatRegisterCardFolder(tat, root.c_str());
    ASSERT_NE(drive, 0);
    EXPECT_EQ(ListRecordings(tat, drive, kAllCategories), all);
    for (const Case& c : cases) {
        const auto names = ListRecordings(tat, drive, c.category);
        EXPECT_EQ(std::find(names.begin(), names.end(), c.name) != names.end(), c.listed) << c.name;
    }
    EXPECT_TRUE(ListRecordings(tat, drive, 5).empty());
    EXPECT_TRUE(ListRecordings(tat, 0, kAllCategories).empty());
    TatDestroy(tat);
}

std::string Rmc(char status, const char* lat = "3733.960", const char* lon = "12658.674") {
    return std::string("G$GPRMC,083000.00,") + status + "," + lat + ",N," + lon +
           ",E,43.2,90.0,010324,,,A";
}

// The route of packets written as a kind and a time: "A1000" is a valid fix at 1 s, V a void
// one, X one off the globe, M a g-sensor packet, G another sentence.
std::vector<RoutePoint> RouteOf(const std::string& packets) {
    std::vector<RoutePoint> route;
    std::istringstream in(packets);
    for (std::string p; in >> p;) {
        const std::string packet = p[0] == 'M'   ? "M\x01\x02\x03"
                                   : p[0] == 'G' ? "G$GPGGA,1,2"
                                   : p[0] == 'X' ? Rmc('A', "9130.000")
                                                 : Rmc(p[0]);
        const size_t before = route.size();
        EXPECT_EQ(route.size() == before + 1,
                  AppendRouteTextPacket(&route, reinterpret_cast<const uint8_t*>(packet.data()),
                                        packet.size(), std::stoi(p.substr(1))))
            << p;
    }
    return route;
}

TEST(Route, KeepsValidFixesAndBreaksWhereTheFixWasLost) {
    // The times of the points kept, "|" before one that starts a new line.
    const std::pair<const char*, const char*> cases[] = {
        {"A0 A1000 A2000", "|0 1000 2000 "},
        {"A0 V1000 M1500 G1600 A2000", "|0 2000 "},
        {"A0 A5000 A10001", "|0 5000 |10001 "},  // a gap of exactly the limit joins
        {"A0 V1000 A6001", "|0 |6001 "},         // lost for six seconds
        {"A3000 A1000", "|3000 |1000 "},         // time going back
        {"X0", ""},
    };
    for (const auto& [packets, drawn] : cases) {
        std::string points;
        for (const RoutePoint& p : RouteOf(packets)) {
            if (p.breaksBefore)
                points += '|';
            points += std::to_string(p.timeMs) + " ";
        }
        EXPECT_EQ(drawn, points) << packets;
    }
    const std::vector<RoutePoint> route = RouteOf("A0");
    ASSERT_EQ(1u, route.size());
    EXPECT_NEAR(37.566, route[0].latitudeDeg, 1e-6);
    EXPECT_NEAR(126.9779, route[0].longitudeDeg, 1e-6);
    EXPECT_NEAR(43.2 * 1.852, route[0].speedKmh, 1e-5);
}

TEST(Route, DistancesAlongTheGlobe) {
    // One degree along a meridian, and along the equator, of a sphere of 6371008.8 m.
    EXPECT_NEAR(111195.08, GreatCircleMeters(0, 0, 1, 0), 0.01);
    EXPECT_NEAR(111195.08, GreatCircleMeters(0, 179.5, 0, -179.5), 0.01);
    EXPECT_NEAR(20015114.4, GreatCircleMeters(90, 0, -90, 0), 1);
    // Seoul City Hall to Busan City Hall.
    EXPECT_NEAR(325.0, GreatCircleMeters(37.5665, 126.9780, 35.1798, 129.0750) / 1000, 1.0);

    std::vector<RoutePoint> route = {
        {0, 0, 0, 0, true}, {1, 0, 0, 1000, false}, {1, 1, 0, 9000, true}};
    EXPECT_NEAR(111195.08 + GreatCircleMeters(1, 0, 1, 1), RouteLengthMeters(route), 0.01)
        << "a break in the line still counts the way between";
    size_t which = 9, at = 9;
    EXPECT_FALSE(NearestRoutePoint({}, 0, 0, &which, &at));
    ASSERT_TRUE(NearestRoutePoint({route, {{0.5, 0.6, 0, 42, true}}}, 0.45, 0.55, &which, &at));
    EXPECT_EQ(1u, which);
    EXPECT_EQ(0u, at);
}

TEST(Trips, NamesGiveLocalSeconds_RecordingsThatFollowEachOtherMakeOneTrip) {
    int64_t s = 0;
    ASSERT_TRUE(RecordingStartSeconds("REC_20240301_083000_D.tat", &s));
    EXPECT_EQ(1709281800, s);
    ASSERT_TRUE(RecordingStartSeconds("EVENT_20000229_235959_F", &s));
    EXPECT_EQ(951868799, s);
    for (const char* bad :
         {"REC_2024030_083000_D", "REC_2024030:_083000_D", "REC_20241301_083000_D",
          "REC_20240301-083000", "REC_20240301_086000_D", "", "REC"})
        EXPECT_FALSE(RecordingStartSeconds(bad, &s)) << bad;

    // name, start (s), length (ms), trip
    std::vector<TripMember> trip = {
        {"REC_c", 120, 60000, 0},     {"REC_a", 0, 60000, 0},
        {"REC_b", 60, 60000, 0},      {"EVENT_x", 90, 20000, 0},  // inside the drive
        {"REC_d", 185, 60000, 0},  // five seconds after the end: joins
        {"REC_e", 251, 60000, 0},  // six seconds after: a new trip
        {"PARKING_p", 900, 30000, 0},
    };
    GroupTrips(&trip);
    std::string grouped;  // name:trip in the order given back
    for (const TripMember& t : trip)
        grouped += t.name + ":" + std::to_string(t.trip) + " ";
    EXPECT_EQ("REC_a:1 REC_b:1 EVENT_x:1 REC_c:1 REC_d:1 REC_e:2 PARKING_p:3 ", grouped);
}

TEST(Trips, CardOfConsecutiveAndSeparateRecordings) {
    const testsupport::TempDir dir("trips");
    std::string card = dir.File("card");
    auto run = [&](std::vector<const char*> args) {
        args.insert(args.end(), {"--size", "64x48", "--fps", "10"});
        return evidence_test::MakeCard(card, args);
    };
    // Three consecutive continuous recordings of 4 s from 08:30:00, an event two seconds
    // after them, and a recording 18 s later.
    ASSERT_TRUE(run({"--only", "REC", "--count", "3", "--seconds", "4", "--start",
                     "20240301_083000", "--no-rear"}));
    ASSERT_TRUE(run({"--one", "EVENT_20240301_083014_F.tat", "--seconds", "3"}));
    ASSERT_TRUE(run({"--one", "REC_20240301_083030_F.tat", "--seconds", "3"}));

    CTripIndex index;
    ASSERT_TRUE(index.UseCard(card));
    const std::vector<std::string> names = {
        "REC_20240301_083030_F.tat", "EVENT_20240301_083014_F.tat", "REC_20240301_083008_F.tat",
        "REC_20240301_083004_F.tat", "REC_20240301_083000_F.tat",   "not a recording"};
    index.Group(names);
    const std::vector<TripMember> first = index.Members(1);
    ASSERT_EQ(4u, first.size());
    EXPECT_NEAR(4000, first[0].durationMs, 100);
    EXPECT_EQ(2, index.TripOf("REC_20240301_083030_F.tat"));
    EXPECT_EQ(0, index.TripOf("not a recording"));
    EXPECT_EQ("REC_20240301_083004_F.tat", index.NextInTrip("REC_20240301_083000_F.tat"));
    EXPECT_EQ("EVENT_20240301_083014_F.tat", index.NextInTrip("REC_20240301_083008_F.tat"));
    EXPECT_EQ("", index.NextInTrip("EVENT_20240301_083014_F.tat")) << "the trip ends there";
    EXPECT_EQ("", index.NextInTrip("REC_20240301_083030_F.tat"));

    // One fix a second, all valid, in one unbroken line per recording.
    std::vector<RoutePoint> joined;
    for (const TripMember& member : first) {
        SCOPED_TRACE(member.name);
        const std::vector<RoutePoint>& route = index.Route(member.name);
        ASSERT_GE(route.size(), 3u);
        EXPECT_TRUE(route[0].breaksBefore);
        for (size_t i = 1; i < route.size(); ++i) {
            EXPECT_FALSE(route[i].breaksBefore);
            EXPECT_EQ(1000, route[i].timeMs - route[i - 1].timeMs);
        }
        joined.insert(joined.end(), route.begin(), route.end());
    }
    EXPECT_GT(RouteLengthMeters(joined), 0);
    EXPECT_DOUBLE_EQ(RouteLengthMeters(joined), index.TripLengthMeters(first));
    EXPECT_TRUE(index.Route("REC_20240301_099999_F.tat").empty());

    // Another card, whose recording of a name seen above lasts 8 s and is damaged in the middle:
    // nothing of the last card's is kept, the route goes on after the damage, and the line
    // breaks where fixes were lost with it.
    card = dir.File("other");
    ASSERT_TRUE(run({"--one", "REC_20240301_083000_F.tat", "--seconds", "8", "--damage=3000"}));
    ASSERT_TRUE(index.UseCard(card));
    index.Group({"REC_20240301_083000_F.tat"});
    EXPECT_GT(index.Members(1).at(0).durationMs, 6000);
    const std::vector<RoutePoint>& damaged = index.Route("REC_20240301_083000_F.tat");
    ASSERT_GE(damaged.size(), 4u);
    EXPECT_LT(damaged.front().timeMs, 2000);
    EXPECT_GT(damaged.back().timeMs, 6000);
    for (size_t i = 1; i < damaged.size(); ++i) {
        EXPECT_GT(damaged[i].timeMs, damaged[i - 1].timeMs);
        EXPECT_EQ(damaged[i].timeMs - damaged[i - 1].timeMs > kRouteGapMs, damaged[i].breaksBefore);
    }
}

}  // namespace
}  // namespace locket
