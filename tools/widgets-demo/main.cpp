// locket-widgets-demo CARD_DIR [RECORDING] [--shot FILE]: the G-sensor graph, the map marker, a
// bitmap slider and a skinned check button, driven by the sensor track of one recording, one second
// of the track per second of wall time. --shot saves the window to FILE after a few seconds
// and quits.
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <string>
#include <vector>

#include "files/text_data.h"
#include "tat/tat_library.h"
#include "widgets/bitmap_slider.h"
#include "widgets/graph_static.h"
#include "widgets/map_view.h"
#include "widgets/skin_button.h"
#include "widgets/skin_images.h"
#include "widgets/window_messages.h"

using namespace locket;

namespace {

constexpr int kSliderId = 1;

// The first continuous recording when none is named.
std::string PickRecording(TatHandle tat, char drive) {
    int n = TatCountRecordings(tat, drive, kTatContinuous);
    if (n <= 0)
        return {};
    std::vector<char> names(size_t(n) * kTatNameBytes);
    std::vector<uint8_t> sizes(size_t(n) * kTatSizeBytes + kTatSizeBytes);
    std::vector<int32_t> extra(size_t(n) + 2);
    if (TatListRecordings(tat, drive, kTatContinuous, n, names.data(), sizes.data(),
                          extra.data()) <= 0)
        return {};
    return std::string(names.data());
}

// Reads every packet of the recording and keeps its sensor track; front frames give the time.
bool ReadTrack(TatHandle tat, const std::string& name, CTextData* track) {
    int64_t position = TatLocate(tat, -1, name.c_str());
    if (position < 0 || !TatStartStream(tat, -1, 0, position))
        return false;
    std::vector<uint8_t> buffer(1 << 20);
    int frontFrames = 0;
    for (;;) {
        uint8_t stream = 0xFF, kind = 0xFF, flag = 0;
        uint32_t size = uint32_t(buffer.size());
        int32_t extra = 0;
        int32_t status = TatReadPacket(tat, &stream, &kind, &flag, &size, buffer.data(), &extra);
        if (status != kTatPacket)
            return status != kTatEndDamaged;
        if ((kind == kTatKindGroupStart || kind == kTatKindVideo) && stream == 0)
            ++frontFrames;
        else if (kind == kTatKindText)
            track->AddTextPacket(buffer.data(), int(size), frontFrames * 1000 / 30);
    }
}

class CDemoWindow : public QWidget {
public:
    CDemoWindow(const CTextData& track) : m_samples(track.GetGSensor()), m_fixes(track.GetGps()) {
        setWindowTitle("Locket KX2 display components");
        auto* left = new QVBoxLayout;
        m_graph.setFixedSize(300, 120);
        m_series[0] = m_graph.AddSeries(0x0000FF, 1);  // x red
        m_series[1] = m_graph.AddSeries(0x00FF00, 1);  // y green
        m_series[2] = m_graph.AddSeries(0xFF0000, 1);  // z blue
        m_graph.SetRange(256, 32);
        m_graph.SetXStep(13);
        left->addWidget(&m_graph);

        m_slider.SetBitmapChannel(422, 423);
        m_slider.SetBitmapThumb(420, 0, true, kKeyFromPixel);
        m_slider.SetRange(0, std::max<int>(1, int(m_samples.size())));
        left->addWidget(&m_slider);

        auto* row = new QHBoxLayout;
        m_follow.SetSkin(495, 494);
        m_follow.SetCheck(true);
        m_follow.SetToolTipText("Map follows the GPS position");
        row->addWidget(&m_follow);
        row->addWidget(&m_status, 1);
        left->addLayout(row);
        left->addStretch();

        auto* layout = new QHBoxLayout(this);
        layout->addLayout(left);
        m_map.setMinimumSize(480, 320);
        layout->addWidget(&m_map, 1);
        // The page starts after the first paint, offline too; tiles come when online.

        connect(&m_tick, &QTimer::timeout, this, [this] { ShowSecond(m_second + 1); });
        m_tick.start(1000);
        ShowSecond(0);
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == WM_BITMAPSLIDER_MOVED || e->type() == WM_BITMAPSLIDER_MOVING) {
            auto* message = static_cast<CWindowMessage*>(e);
            if (message->WParam() == kSliderId)
                ShowSecond(int(message->LParam()));
            return true;
        }
        return QWidget::event(e);
    }

private:
    // Rebuilds the trace up to `second`, the newest sample at the left edge.
    void ShowSecond(int second) {
        if (m_samples.empty())
            return;
        m_second = second % int(m_samples.size());
        for (CGraphSeries* s : m_series)
            m_graph.ClearSeries(s);
        for (int i = m_second; i >= 0; --i) {
            m_graph.AddValue(m_series[0], 128 + m_samples[size_t(i)].x);
            m_graph.AddValue(m_series[1], 128 + m_samples[size_t(i)].y);
            m_graph.AddValue(m_series[2], 128 + m_samples[size_t(i)].z);
        }
        m_slider.SetPos(m_second);
        if (!m_fixes.empty() && m_follow.GetCheck()) {
            const CGPSData& fix = m_fixes[std::min(size_t(m_second), m_fixes.size() - 1)];
            m_map.DrawCurrent(fix);
            if (m_map.IsPageReady())
                m_status.setText(QString("%1 s  %2 km/h")
                                     .arg(m_second)
                                     .arg(double(fix.GetSpeedKmh()), 0, 'f', 0));
        }
    }

    std::vector<CGSensorData> m_samples;
    std::vector<CGPSData> m_fixes;
    CGraphStatic m_graph{this};
    CGraphSeries* m_series[3] = {};
    CBitmapSlider m_slider{kSliderId, this};
    CxSkinButton m_follow{CxSkinButton::kCheckBox, this};
    QLabel m_status{this};
    CMapView m_map{this};
    QTimer m_tick;
    int m_second = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> args;
    QString shot;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--shot" && i + 1 < argc)
            shot = argv[++i];
        else
            args.push_back(argv[i]);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: locket-widgets-demo CARD_DIR [RECORDING] [--shot FILE]\n");
        return 2;
    }
    TatHandle tat = TatCreate();
    char drive = TatRegisterCardFolder(tat, args[0].c_str());
    std::string name = args.size() > 1 ? args[1] : (drive ? PickRecording(tat, drive) : "");
    CTextData track;
    if (!drive || name.empty() || !ReadTrack(tat, name, &track)) {
        std::fprintf(stderr, "%s: no card, or no readable recording on it\n", args[0].c_str());
        TatDestroy(tat);
        return 1;
    }
    TatDestroy(tat);
    std::printf("%s: %zu G-sensor seconds, %zu GPS fixes\n", name.c_str(), track.GSensorCount(),
                track.GpsCount());
    CDemoWindow window(track);
    window.show();
    if (!shot.isEmpty()) {
        QTimer::singleShot(6000, &window, [&] {
            window.grab().save(shot);
            app.quit();
        });
    }
    return app.exec();
}
