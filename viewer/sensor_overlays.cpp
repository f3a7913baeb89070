// Vehicle-signal panel, G-sensor graph, map marker and GPS speed of the open recording.
#include <QLabel>

#include <cmath>

#include "files/vehicle_signals.h"
#include "viewer/control_ids.h"
#include "viewer/main_window.h"
#include "widgets/graph_static.h"
#include "widgets/map_view.h"

namespace locket {

namespace {

// Bitmaps of the panel: lit and off.
constexpr int kLeftLit = 531, kLeftOff = 536;
constexpr int kRightLit = 532, kRightOff = 534;
constexpr int kAccelLit = 529, kAccelOff = 530;
constexpr int kBrakeLit = 533, kBrakeOff = 535;
constexpr int kGearP = 525, kGearR = 523, kGearN = 526, kGearD = 527, kGearM = 524, kGearOff = 528;

struct PanelPlace {
    int id;
    int windowX;  // window layout
    int fullX;    // full screen: from the left edge, or from the right when fromRight
    bool fromRight;
    int w, h;
    bool label;  // value labels sit 10 px lower
};

constexpr PanelPlace kPanel[] = {
    {ctl::kTurnLeft, 32, 32, false, 43, 43, false},
    {ctl::kTurnRight, 109, 117, false, 43, 43, false},
    {ctl::kAccel, 186, 202, false, 57, 43, false},
    {ctl::kBrake, 263, 287, false, 57, 43, false},
    {ctl::kGear, 350, 372, false, 43, 43, false},
    {ctl::kSpeedGauge, 446, 504, true, 142, 43, false},
    {ctl::kRpmGauge, 623, 327, true, 142, 43, false},
    {ctl::kTempGauge, 801, 150, true, 142, 43, false},
    {ctl::kSpeedValue, 496, 454, true, 80, 23, true},
    {ctl::kRpmValue, 673, 277, true, 80, 23, true},
    {ctl::kTempValue, 851, 100, true, 80, 23, true},
};

int GearBitmap(int gear) {
    switch (gear) {
        case 1:
            return kGearP;
        case 2:
            return kGearR;
        case 3:
            return kGearN;
        case 4:
            return kGearD;
        case 5:
            return kGearM;
        default:
            return kGearOff;
    }
}

}  // namespace

void CRavuraVezedaDlg::ApplySignals() {
    SignalValues values = m_sensorTrack.GetSignals();
    for (int32_t& value : values) {
        if (value == kSignalAbsent)
            value = 0;
    }
    SetCtrlText(ctl::kRpmValue, QString::number(values[kSignalRpm]));
    SetCtrlText(ctl::kTempValue, QString::number(values[kSignalWat]));
    // The vehicle reports km/h; the gauge shows the chosen unit.
    const int speed = values[kSignalSpd];
    SetCtrlText(
        ctl::kSpeedValue,
        QString::number(SpeedInMph() ? static_cast<int>(std::lround(speed * 0.621371192)) : speed));
    SetSignalIcon(ctl::kBrake, values[kSignalBreak] > 0 ? kBrakeLit : kBrakeOff);
    const int gear = values[kSignalGearPos];
    if (values[kSignalBreak] == 1 || values[kSignalSpd] == 0 || gear == 1 || gear == 3)
        values[kSignalAccel] = 0;
    SetSignalIcon(ctl::kAccel, values[kSignalAccel] > 0 ? kAccelLit : kAccelOff);
    const int turn = values[kSignalTurnSig];
    SetSignalIcon(ctl::kTurnLeft, turn == -1 || turn == 2 ? kLeftLit : kLeftOff);
    SetSignalIcon(ctl::kTurnRight, turn == 1 || turn == 2 ? kRightLit : kRightOff);
    SetSignalIcon(ctl::kGear, GearBitmap(gear));
}

void CRavuraVezedaDlg::ResetSignalPanel() {
    ComputeVideoRect();
    PlaceSignalPanel();
    for (int id : {ctl::kRpmValue, ctl::kTempValue, ctl::kSpeedValue})
        SetCtrlText(id, QStringLiteral("0"));
    if (m_layoutMode == 1) {
        SetSignalIcon(ctl::kGear, kGearOff);
        SetSignalIcon(ctl::kTurnLeft, kLeftOff);
        SetSignalIcon(ctl::kTurnRight, kRightOff);
        SetSignalIcon(ctl::kAccel, kAccelOff);
        SetSignalIcon(ctl::kBrake, kBrakeOff);
    }
}

// A layout switch only moves the panel: a paused recording gets no new signal record that
// would put back values cleared here.
void CRavuraVezedaDlg::PlaceSignalPanel() {
    if (m_layoutMode == 1) {
        for (const PanelPlace& place : kPanel)
            PlaceControl(place.id, place.windowX, place.label ? 533 : 523, place.w, place.h);
    } else {
        const int width = m_screenLayout[0];
        const int y = m_screenLayout[1] - 103;
        for (const PanelPlace& place : kPanel) {
            const int x = place.fromRight ? width - place.fullX : place.fullX;
            PlaceControl(place.id, x, place.label ? y + 10 : y, place.w, place.h);
        }
    }
    for (int id : {ctl::kRpmValue, ctl::kTempValue, ctl::kSpeedValue})
        Control(id)->raise();
    update();
}

bool CRavuraVezedaDlg::EnableMapControls(CGPSData* fix) {
    // The map buttons are usable once the recording gave a position.
    CGPSData newest;
    if (!m_sensorTrack.GetNewestGps(&newest) || !newest.valid)
        return false;
    if (fix)
        *fix = newest;
    EnableControl(ctl::kMapView, true);
    EnableControl(ctl::kMapEnlarge, true);
    if (ChannelCount() >= 2) {
        EnableControl(ctl::kMapTab, true);
        EnableControl(ctl::kRearTab, true);
    }
    return true;
}

void CRavuraVezedaDlg::RefreshSensors(int64_t sec) {
    CGPSData fix;
    if (EnableMapControls(&fix)) {
        m_mapView->DrawCurrent(fix);
        m_lastGpsKmh = fix.GetSpeedKmh();
        SetCtrlText(ctl::kSpeed, SpeedText(m_lastGpsKmh));
    }
    const auto count = static_cast<int64_t>(m_sensorTrack.GSensorCount());
    if (count < 1)
        return;
    const int shown = static_cast<int>(sec > count ? count : sec);
    if (shown == m_graphShownSec)
        return;
    m_graphShownSec = shown;
    const std::vector<CGSensorData> samples = m_sensorTrack.GetGSensor(0, shown);
    for (CGraphSeries* series : m_series)
        m_graph->ClearSeries(series);
    for (int i = static_cast<int>(samples.size()) - 1; i >= 0; --i) {
        m_graph->AddValue(m_series[0], samples[i].x + 150);
        m_graph->AddValue(m_series[1], samples[i].y + 100);
        m_graph->AddValue(m_series[2], samples[i].z + 50);
    }
}

void CRavuraVezedaDlg::ClearGraphWithBaseline(bool baseline) {
    for (CGraphSeries* series : m_series)
        m_graph->ClearSeries(series);
    if (!baseline)
        return;
    m_graph->AddValue(m_series[0], 150);
    m_graph->AddValue(m_series[1], 100);
    m_graph->AddValue(m_series[2], 50);
}

void CRavuraVezedaDlg::LoadMapPage() {
    // The page is local and shows the route offline too; it normally started loading after
    // the window's first paint already.
    m_mapView->CreatePage();
    m_mapPageLoaded = true;
    m_lastGpsKmh = -1;
    ShowTripOnMap();
    MoveMap(650, 268, 0, 0);
}

}  // namespace locket
