// Trips on the map: the list's trip column, the open recording's trip drawn on the map, the
// advance within a trip, a click on the route to seek, and km/h or mph.
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "viewer/control_ids.h"
#include "viewer/main_window.h"
#include "viewer/viewer_config.h"
#include "widgets/map_view.h"
#include "widgets/string_table.h"
#include "widgets/tile_cache.h"

namespace locket {

namespace {

constexpr int kRearColumn = 3;
constexpr int kTripColumn = 6;
constexpr int kTripColumnWidth = 40;
constexpr double kMilesPerKm = 0.621371192;
// Two routes this close to a click pass the same spot.
constexpr double kSameStretchMeters = 15;
// The speed gauge's picture in each unit.
constexpr int kSpeedGaugeKmh = 522;
constexpr int kSpeedGaugeMph = 541;

// The open recording's trip; a recording in no trip is a trip of its own.
std::vector<TripMember> TripMembersOf(const CTripIndex& trips, const std::string& open) {
    std::vector<TripMember> members = trips.Members(trips.TripOf(open));
    if (members.empty()) {
        TripMember alone;
        alone.name = open;
        RecordingStartSeconds(open, &alone.startS);
        members.push_back(alone);
    }
    return members;
}

// A left press on the watched control runs the action (the speed gauge is a picture).
class CClickAction : public QObject {
public:
    CClickAction(QObject* parent, std::function<void()> action)
        : QObject(parent), m_action(std::move(action)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonPress ||
            static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        m_action();
        return true;
    }

private:
    std::function<void()> m_action;
};

QString ClockOf(int64_t localSeconds, bool withDate) {
    // The seconds are local time already: shown as they are.
    const QDateTime at = QDateTime::fromSecsSinceEpoch(localSeconds, Qt::UTC);
    return at.toString(withDate ? QStringLiteral("yyyy.MM.dd hh:mm:ss")
                                : QStringLiteral("hh:mm:ss"));
}

}  // namespace

void CRavuraVezedaDlg::SetUpTrips() {
    m_list->setColumnCount(kTripColumn + 1);
    m_list->headerItem()->setText(kTripColumn, PairText(string_id::kHeaderTrip));
    m_list->headerItem()->setTextAlignment(kTripColumn, Qt::AlignHCenter | Qt::AlignVCenter);
    m_list->setColumnWidth(kTripColumn, kTripColumnWidth);
    // Shown right after the rear column: the list's own columns keep their places and order,
    // and the trip is in view where the width allows.
    m_list->header()->moveSection(m_list->header()->visualIndex(kTripColumn),
                                  m_list->header()->visualIndex(kRearColumn) + 1);

    const ViewerConfig config = ReadViewerConfig(ViewerConfigPath(m_options.configFolder));
    m_speedMph = config.speedMph;
    if (!config.tileServer.empty())
        m_mapView->Tiles()->SetServer(QString::fromStdString(config.tileServer));
    m_mapView->SetSpeedInMph(m_speedMph);
    SetSignalIcon(ctl::kSpeedGauge, m_speedMph ? kSpeedGaugeMph : kSpeedGaugeKmh);
    connect(m_mapView, &CMapView::RouteClicked, this, &CRavuraVezedaDlg::OnRouteClicked);

    // A click on the speed gauge or its value switches the unit.
    auto* toggle = new CClickAction(this, [this] { ToggleSpeedUnit(); });
    for (int id : {ctl::kSpeedGauge, ctl::kSpeedValue, ctl::kSpeed}) {
        QWidget* control = Control(id);
        control->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        control->setCursor(Qt::PointingHandCursor);
        control->installEventFilter(toggle);
    }
}

void CRavuraVezedaDlg::GroupTripsOfList() {
    char root[4096] = {};
    const bool card =
        m_cardDrive != 0 && TatCardRoot(m_tatHandle, m_cardDrive, root, sizeof root) > 0;
    m_trips.UseCard(card ? root : "");
    // A trip runs across the categories, whichever of them the list shows.
    std::vector<std::string> names;
    for (int category = 0; card && category <= 3; ++category)
        GatherRecordingNames(category, &names);
    m_trips.Group(names);
    const QSignalBlocker blocker(m_list);
    for (int row = 0; row < RowCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        const int trip = m_trips.TripOf(RowName(row).toStdString());
        item->setText(kTripColumn, trip ? QString::number(trip) : QString());
        item->setTextAlignment(kTripColumn, Qt::AlignCenter);
        item->setForeground(kTripColumn, Qt::white);
        item->setBackground(kTripColumn, Qt::black);
    }
}

void CRavuraVezedaDlg::ShowTripOnMap() {
    const std::string open = m_openName.toStdString();
    const std::vector<TripMember> members = TripMembersOf(m_trips, open);
    std::vector<MapRoute> routes;
    int openIndex = 0;
    for (const TripMember& member : members) {
        if (member.name == open)
            openIndex = static_cast<int>(routes.size());
        routes.push_back({member.name, m_trips.Route(member.name)});
    }
    m_mapView->SetTrip(std::move(routes), openIndex);
    ShowTripInfo();
}

void CRavuraVezedaDlg::ShowTripInfo() {
    const std::string open = m_openName.toStdString();
    const std::vector<TripMember> members = TripMembersOf(m_trips, open);
    const double km = m_trips.TripLengthMeters(members) / 1000.0;
    const int64_t first = members.front().startS;
    int64_t last = first;
    for (const TripMember& member : members)
        last = std::max(last, member.startS + member.durationMs / 1000);
    const bool days = first / 86400 != last / 86400;
    m_mapView->SetTripInfo(QStringLiteral("%1 %2 · %3 – %4")
                               .arg(m_speedMph ? km * kMilesPerKm : km, 0, 'f', 1)
                               .arg(m_speedMph ? QStringLiteral("mi") : QStringLiteral("km"))
                               .arg(ClockOf(first, true), ClockOf(last, days)));
}

bool CRavuraVezedaDlg::OpenNextInTrip() {
    const std::string next = m_trips.NextInTrip(m_openName.toStdString());
    if (next.empty())
        return false;
    const QString name = QString::fromStdString(next);
    for (int row = 0; row < RowCount(); ++row) {
        if (RowName(row) != name)
            continue;
        m_currentRow = row;
        SelectRow(row, false);
        break;
    }
    // A trip's recording that the shown category leaves out plays all the same; the row stays
    // on the last listed one.
    OpenRecording(name);
    return true;
}

void CRavuraVezedaDlg::OnRouteClicked(double latitudeDeg, double longitudeDeg) {
    if (m_exportRunning.load())
        return;
    const std::vector<MapRoute>& trip = m_mapView->Trip();
    std::vector<std::vector<RoutePoint>> routes;
    for (const MapRoute& route : trip)
        routes.push_back(route.points);
    size_t routeIndex = 0, pointIndex = 0;
    if (!NearestRoutePoint(routes, latitudeDeg, longitudeDeg, &routeIndex, &pointIndex))
        return;
    // An event saved during the drive passes the same road as the drive's own recording: a
    // click on a stretch the open recording holds too stays in it.
    const int open = m_mapView->OpenInTrip();
    size_t openPoint = 0, unused = 0;
    if (open >= 0 && static_cast<size_t>(open) < routes.size() &&
        static_cast<size_t>(open) != routeIndex &&
        NearestRoutePoint({routes[open]}, latitudeDeg, longitudeDeg, &unused, &openPoint)) {
        const auto distance = [&](const RoutePoint& p) {
            return GreatCircleMeters(latitudeDeg, longitudeDeg, p.latitudeDeg, p.longitudeDeg);
        };
        if (distance(routes[open][openPoint]) <=
            distance(routes[routeIndex][pointIndex]) + kSameStretchMeters) {
            routeIndex = static_cast<size_t>(open);
            pointIndex = openPoint;
        }
    }
    const QString name = QString::fromStdString(trip[routeIndex].name);
    const int timeMs = routes[routeIndex][pointIndex].timeMs;
    if (name != m_openName) {
        for (int row = 0; row < RowCount(); ++row) {
            if (RowName(row) == name) {
                m_currentRow = row;
                SelectRow(row, false);
                break;
            }
        }
        if (!OpenRecording(name))
            return;
    }
    m_player.SeekTo(timeMs);
}

QString CRavuraVezedaDlg::SpeedText(double kmh) const {
    const QString unit = m_speedMph ? QStringLiteral("mph") : QStringLiteral("km/h");
    if (kmh < 0)
        return unit;
    return QString::number(static_cast<int>(std::trunc(m_speedMph ? kmh * kMilesPerKm : kmh))) +
           unit;
}

void CRavuraVezedaDlg::ToggleSpeedUnit() {
    m_speedMph = !m_speedMph;
    if (!WriteSpeedUnit(ViewerConfigPath(m_options.configFolder), m_speedMph))
        std::printf("[Viewer] config.cfg not written\n");
    m_mapView->SetSpeedInMph(m_speedMph);
    SetSignalIcon(ctl::kSpeedGauge, m_speedMph ? kSpeedGaugeMph : kSpeedGaugeKmh);
    SetCtrlText(ctl::kSpeed, SpeedText(m_lastGpsKmh));
    ApplySignals();
    if (!m_openName.isEmpty())
        ShowTripInfo();
}

}  // namespace locket
