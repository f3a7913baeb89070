// The window's trips: the list's trip column, the advance within a trip, a click on the route
// and the speed unit.
#include <QHeaderView>

#include "viewer_test_support.h"
#include "widgets/map_view.h"
#include "widgets/skin_images.h"
#include "widgets/trans_bitmap.h"
#include "widgets/window_messages.h"

namespace locket::viewertest {
namespace {

constexpr int kTripColumn = 6;

bool Record(std::vector<const char*> args, const std::string& card) {
    args.insert(args.end(), {"--size", "96x64", "--fps", "10", "--min-kib", "520"});
    return MakeCard(card, args);
}

// Trip 1: REC 08:30:00, 08:30:03, 08:30:06 (3 s each) and an event at 08:30:04 inside it;
// trip 2: REC 08:31:00.
const std::string& TripCard() {
    static TempDir dir;
    static const std::string card = dir.path() + "/card";
    static const bool made =
        Record({"--only", "REC", "--count", "3", "--seconds", "3", "--start", "20240301_083000",
                "--no-rear"},
               card) &&
        Record({"--one", "EVENT_20240301_083004_F.tat", "--seconds", "2"}, card) &&
        Record({"--one", "REC_20240301_083100_F.tat", "--seconds", "3"}, card);
    EXPECT_TRUE(made);
    return card;
}

class Trips : public CardWindowTest {
protected:
    void SetUp() override { OpenOn(TripCard(), 5, "[config]\nspeedunit=mph\n"); }
    int RowOf(const char* name) {
        auto* list = w().ControlAs<QTreeWidget>(ctl::kList);
        const auto found = list->findItems(QLatin1String(name), Qt::MatchExactly, 1);
        return found.isEmpty() ? -1 : list->indexOfTopLevelItem(found.first());
    }
    // The recording the map shows as open.
    std::string OpenOnMap() {
        const auto& trip = w().MapView()->Trip();
        const int open = w().MapView()->OpenInTrip();
        return open >= 0 && open < static_cast<int>(trip.size()) ? trip[open].name : "";
    }
};

TEST_F(Trips, ListNumbersTripsTheEndOpensTheTripsNextRouteClicksOpenAndSpeedUnit) {
    auto* list = w().ControlAs<QTreeWidget>(ctl::kList);
    EXPECT_EQ(7, list->columnCount()) << "the four columns of the list and their hidden ones stay";
    EXPECT_EQ(QStringLiteral("Trip"), list->headerItem()->text(kTripColumn));
    for (int column = 0; column < kTripColumn; ++column)
        EXPECT_EQ(column < 4 ? column : column + 1, list->header()->visualIndex(column))
            << "the trip follows the rear column; the list's own columns keep their order";
    const std::pair<const char*, const char*> trips[] = {
        {"REC_20240301_083100_F.tat", "2"},   {"REC_20240301_083006_F.tat", "1"},
        {"EVENT_20240301_083004_F.tat", "1"}, {"REC_20240301_083003_F.tat", "1"},
        {"REC_20240301_083000_F.tat", "1"},
    };
    for (const auto& [name, trip] : trips) {
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name;
        EXPECT_EQ(QLatin1String(trip), list->topLevelItem(row)->text(kTripColumn)) << name;
    }

    // Only the driving recordings listed: the end of 08:30:03 still opens the trip's event,
    // whose end comes back to the listed 08:30:06; the trip's end goes on to the next newer
    // row as before.
    w().OnCategoryButton(1);
    ASSERT_EQ(4, w().RowCount());
    w().OnListDoubleClick(RowOf("REC_20240301_083003_F.tat"));
    EXPECT_EQ("REC_20240301_083003_F.tat", OpenOnMap());
    EXPECT_EQ(4u, w().MapView()->Trip().size()) << "the map holds the whole trip";
    EXPECT_TRUE(qWaitFor([&] { return OpenOnMap() == "EVENT_20240301_083004_F.tat"; }, 15000));
    EXPECT_TRUE(qWaitFor([&] { return OpenOnMap() == "REC_20240301_083006_F.tat"; }, 15000));
    EXPECT_EQ(RowOf("REC_20240301_083006_F.tat"), w().CurrentRow());
    EXPECT_TRUE(qWaitFor([&] { return OpenOnMap() == "REC_20240301_083100_F.tat"; }, 15000));
    EXPECT_EQ(RowOf("REC_20240301_083100_F.tat"), w().CurrentRow());
    EXPECT_EQ(1u, w().MapView()->Trip().size());

    // An end left over from the recording before changes nothing; the newest one's end stops.
    PostWindowMessage(&w(), WM_MEDIA_END, w().OpenSerial() - 1);
    QCoreApplication::sendPostedEvents(&w());
    EXPECT_EQ(RowOf("REC_20240301_083100_F.tat"), w().CurrentRow());
    ASSERT_TRUE(qWaitFor([&] { return w().CurrentRow() == -1; }, 15000));
    EXPECT_EQ(QStringLiteral("00:00:00"), Text(w(), ctl::kCurrentTime));

    // A click on the route opens that recording at the nearest fix.
    Click(w(), ctl::kCatAll);
    ASSERT_EQ(5, w().RowCount());
    w().OnListDoubleClick(RowOf("REC_20240301_083000_F.tat"));
    ASSERT_TRUE(qWaitFor([&] { return w().Player().GetCurTime() > 0; }));
    const std::vector<MapRoute> trip = w().MapView()->Trip();
    ASSERT_EQ(4u, trip.size());
    ASSERT_EQ("REC_20240301_083006_F.tat", trip[3].name);
    ASSERT_GE(trip[3].points.size(), 3u);
    const RoutePoint target = trip[3].points[2];
    // A little off the line, as a click would be.
    emit w().MapView()->RouteClicked(target.latitudeDeg + 1e-6, target.longitudeDeg - 1e-6);
    EXPECT_EQ("REC_20240301_083006_F.tat", OpenOnMap());
    EXPECT_EQ(RowOf("REC_20240301_083006_F.tat"), w().CurrentRow());
    // The seek lands on the key-frame group that holds the fix's moment.
    EXPECT_TRUE(qWaitFor([&] {
        const int now = w().Player().GetCurTime();
        return now >= target.timeMs - 2400 && now <= target.timeMs + 1000;
    })) << w().Player().GetCurTime()
        << " for a fix at " << target.timeMs;

    // The event at 08:30:04 drove the same road as 08:30:03 one second into it: a click there
    // while the event plays stays in the event.
    w().OnListDoubleClick(RowOf("EVENT_20240301_083004_F.tat"));
    const std::vector<MapRoute> again = w().MapView()->Trip();
    ASSERT_EQ("EVENT_20240301_083004_F.tat", again[2].name);
    ASSERT_EQ("REC_20240301_083003_F.tat", again[1].name);
    ASSERT_GE(again[2].points.size(), 1u);
    // Right on the drive's own fix, a metre or so from the event's.
    const RoutePoint drive = again[1].points[1];
    ASSERT_LT(GreatCircleMeters(drive.latitudeDeg, drive.longitudeDeg,
                                again[2].points[0].latitudeDeg, again[2].points[0].longitudeDeg),
              5)
        << "the same stretch";
    emit w().MapView()->RouteClicked(drive.latitudeDeg, drive.longitudeDeg);
    EXPECT_EQ("EVENT_20240301_083004_F.tat", OpenOnMap());

    // The speed unit comes from the config, and the gauge switches it.
    w().OnListDoubleClick(RowOf("REC_20240301_083100_F.tat"));
    EXPECT_EQ(QStringLiteral("mph"), Text(w(), ctl::kSpeed));
    ASSERT_TRUE(qWaitFor([&] { return Text(w(), ctl::kSpeed) != QStringLiteral("mph"); }, 5000));
    EXPECT_THAT(Text(w(), ctl::kSpeed).toStdString(), testing::EndsWith("mph"));
    auto gauge = [&] { return w().ControlAs<TransBitmap>(ctl::kSpeedGauge)->GetBitmap(); };
    EXPECT_EQ(LoadSkinImage(541), gauge()) << "the gauge reads mph";

    Click(w(), ctl::kSpeedGauge);
    EXPECT_EQ(LoadSkinImage(522), gauge()) << "the gauge reads km/h";
    EXPECT_THAT(Text(w(), ctl::kSpeed).toStdString(), testing::EndsWith("km/h"));
    EXPECT_NE(std::string::npos, ReadText(window->ConfigPath()).find("speedunit=kmh"));
    Click(w(), ctl::kSpeedValue);
    EXPECT_EQ(QStringLiteral("62mph"), w().SpeedText(100.0));
    EXPECT_EQ(QStringLiteral("mph"), w().SpeedText(-1));
}

}  // namespace
}  // namespace locket::viewertest
