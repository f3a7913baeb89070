// The window layout, the full-screen layout and the switches between them.
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>

#include "viewer/control_ids.h"
#include "viewer/control_table.h"
#include "viewer/main_window.h"
#include "viewer/video_rect.h"
#include "viewer/zoom_dlg.h"
#include "widgets/bitmap_slider.h"
#include "widgets/graph_static.h"
#include "widgets/skin_images.h"

namespace locket {

namespace {

constexpr int kBackgroundBitmap = 421;

int DownToFour(int value) {
    return value / 4 * 4;
}

}  // namespace

std::array<int, 4> VideoRectForClient(int width, int height) {
    int videoWidth = 1920;
    int videoHeight = 1080;
    if (width < 1920 || height < 1248) {
        videoHeight = height - 170;
        videoWidth = static_cast<int>(videoHeight * 1.7);
        if (videoWidth > width) {
            videoWidth = width - 20;
            videoHeight = static_cast<int>((width - 20) * 0.56);
        }
        videoHeight = DownToFour(videoHeight);
        videoWidth = DownToFour(videoWidth);
    }
    const int x = DownToFour((width - videoWidth) / 2);
    const int y = DownToFour((height - videoHeight - 140) / 2 + 29);
    return {x, y, videoWidth, videoHeight};
}

void CRavuraVezedaDlg::ComputeVideoRect() {
    const int width = this->width();
    const int height = this->height();
    const auto video = VideoRectForClient(width, height);
    m_screenLayout = {width, height, video[0], video[1], video[2], video[3]};
    std::printf("Width => %d, Hight => %d, X => %d, Y => %d\n", width, height, video[0], video[1]);
}

void CRavuraVezedaDlg::Layout(int mode) {
    const int fullOnly[] = {ctl::kBarMiddle, ctl::kBarTop, ctl::kBarBottom, ctl::kPreviousSize,
                            ctl::kSwapFull};
    const int windowOnly[] = {
        ctl::kSettings,   ctl::kCapture,  ctl::kZoom,       ctl::kSwap,       ctl::kMapEnlarge,
        ctl::kFullScreen, ctl::kCatEvent, ctl::kCatParking, ctl::kCatDriving, ctl::kCatManual,
        ctl::kCatAll,     ctl::kDownload, ctl::kSelectAll,  ctl::kList,       ctl::kListHeader,
        ctl::kRearTab,    ctl::kMapTab,   ctl::kMirror,     ctl::kGraph,      ctl::kOpen};
    const bool window = mode == 1;
    for (int id : fullOnly)
        ShowControl(id, !window);
    for (int id : windowOnly)
        ShowControl(id, window);
    const bool playVisible = Control(ctl::kPlay)->isVisible() || !isVisible();
    if (window) {
        m_seekSlider->SetBitmapChannel(443, 444, true, kKeyFromPixel);
        PlaceControl(ctl::kGraph, 29, 595, 760, 104);
        m_savedWindowRect = geometry();
        resize(1020, 730);
        for (const ControlPlace& place : WindowLayoutPlaces())
            PlaceControl(place.id, place.x, place.y, place.w, place.h);
    } else {
        m_seekSlider->SetBitmapChannel(518, 519, true, kKeyFromPixel);
        const int width = m_screenLayout[0];
        const int height = m_screenLayout[1];
        PlaceControl(ctl::kBarTop, 0, 0, width, 40);
        PlaceControl(ctl::kBarMiddle, 0, height - 117, width, 72);
        PlaceControl(ctl::kBarBottom, 0, height - 45, width, 45);
        for (const ControlPlace& place : FullScreenLayoutPlaces()) {
            const int x = place.fromRight ? width - place.x : place.x;
            const int y = place.fromBottom ? height - place.y : place.y;
            MoveControl(place.id, x, y);
            Control(place.id)->raise();
        }
    }
    // PLAY keeps its visibility, Pause gets the other.
    if (isVisible())
        ShowPlayButton(playVisible);
    for (int id : {ctl::kSwapFull, ctl::kSwap, ctl::kMapEnlarge, ctl::kMapTab, ctl::kRearTab})
        EnableControl(id, false);
    // A paused recording has no tick to enable the map buttons again.
    EnableMapControls();
    Invalidate();
}

void CRavuraVezedaDlg::FitToBackground() {
    m_background = LoadSkinImage(kBackgroundBitmap);
    if (!m_background.isNull())
        resize(m_background.size());
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void CRavuraVezedaDlg::OnFullScreen() {
    if (m_exportRunning.load())
        return;
    if (m_layoutMode == 1) {
        m_savedWindowRect = geometry();
        showFullScreen();
        m_layoutMode = 2;
        m_background = QImage();
        ComputeVideoRect();
        PlaceSignalPanel();
        if (m_mapPlace == 1)
            OnMapEnlarge();
    }
    if (m_player.m_captureGate.load() >= CTRSMediaPlayer::kGateClosed ||
        m_player.m_captureGate.load() < 0)
        UpdateTimeLabels(0, 0);
    Layout(m_layoutMode);
    RelayoutPictures();
}

void CRavuraVezedaDlg::OnPreviousSize() {
    if (m_exportRunning.load())
        return;
    if (m_layoutMode == 2) {
        m_refitPending = false;
        showNormal();
        m_layoutMode = 1;
        ComputeVideoRect();
        PlaceSignalPanel();
    }
    if (m_player.m_captureGate.load() >= CTRSMediaPlayer::kGateClosed ||
        m_player.m_captureGate.load() < 0)
        UpdateTimeLabels(0, 0);
    Layout(m_layoutMode);
    RelayoutPictures();
    FitToBackground();
    m_refitPending = true;
}

void CRavuraVezedaDlg::OnWindowResized() {
    if (m_layoutMode == 2) {
        // Lay out again for the size the window manager gave.
        ComputeVideoRect();
        PlaceSignalPanel();
        Layout(m_layoutMode);
        RelayoutPictures();
        return;
    }
    // One refit after leaving full screen: a restore to another size must not leave the
    // window layout on a full-screen sized window, nor start a tug of war with the manager.
    if (!m_refitPending || (windowState() & Qt::WindowFullScreen) || m_background.isNull() ||
        size() == m_background.size())
        return;
    m_refitPending = false;
    FitToBackground();
}

void CRavuraVezedaDlg::OnZoom() {
    // QPointer: a magnifier the person closed (it deletes itself) is null here, never deleted
    // twice.
    delete m_zoomDlg.data();
    m_zoomDlg = new CZoomDlg(m_langId, this);
    m_zoomDlg->move(850, 465);
    m_zoomDlg->resize(425, 330);
    m_zoomDlg->show();
    m_zoomDlg->update();
}

}  // namespace locket
