// Transport, seek bar, volume, brightness, keys, the refresh tick and picture placement.
#include <QCursor>
#include <QTreeWidget>

#include <algorithm>

#include "base/sync.h"
#include "files/recording_names.h"
#include "viewer/control_ids.h"
#include "viewer/evidence_controls.h"
#include "viewer/main_window.h"
#include "viewer/video_view.h"
#include "widgets/bitmap_slider.h"
#include "widgets/graph_static.h"
#include "widgets/map_view.h"

namespace locket {

namespace {

struct Rect {
    int x, y, w, h;
};
constexpr Rect kLarge{4, 64, 640, 360};
constexpr Rect kSmall{650, 278, 320, 170};
constexpr Rect kFrontHidden{4, 64, 0, 0};
constexpr Rect kRearHidden{650, 268, 0, 0};
constexpr Rect kMapHidden{650, 268, 0, 0};

constexpr int kJumpMs = 10000;
constexpr int kVolumeKeyStep = 5;

// hh:mm:ss of a 64-bit count of seconds.
QString FormatClock(int64_t v) {
    return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(v / 3600),
                             static_cast<long long>((v % 3600) / 60),
                             static_cast<long long>(v % 60));
}

bool GateOpen(int gate) {
    return gate == CTRSMediaPlayer::kGatePlaying || gate == CTRSMediaPlayer::kGateStepped;
}

}  // namespace

bool CRavuraVezedaDlg::OpenRecording(const QString& name) {
    if (m_exportRunning.load())
        return false;
    WaitExportIdle();
    if (m_cardDrive == 0)
        return true;
    CTATParser::SetLibraryHandle(m_tatHandle);
    m_player.Pause();
    m_player.Close();
    // Close has delivered any end event on its way: what is queued from now on with an older
    // serial belongs to the recording just closed.
    m_openSerial.fetch_add(1);
    m_openName.clear();

    m_sensorTrack.Clear();
    SetCtrlText(ctl::kSpeed, SpeedText(-1));
    m_graphShownSec = 0;
    ClearGraphWithBaseline(false);
    ResetSignalPanel();

    // The player starts with Open and decodes without waiting for this thread: a view still
    // without its size then would skip the first key frame and stay dark for a whole group.
    const std::string path = name.toStdString();
    m_frontPlace = 1;
    m_rearPlace = RecordingHasRear(path) ? 2 : 0;
    m_mapPlace = 0;
    RelayoutPictures(m_rearPlace ? 2 : 1);
    if (!m_player.Open(path.c_str())) {
        OnNext();
        return false;
    }
    m_openName = name;
    m_evidence->OnRecordingOpened(name);
    m_totalSeconds = m_player.GetDuration() / 1000;
    if (m_totalSeconds <= 0)
        m_totalSeconds = 60;
    m_seekSlider->SetRange(0, static_cast<int>(std::min<int64_t>(m_totalSeconds, INT32_MAX)));
    // The next recording starts at 0, not where the previous one ended.
    m_seekSlider->SetPos(0);
    SetCtrlText(ctl::kCurrentTime, FormatClock(0));
    SetCtrlText(ctl::kTotalTime, FormatClock(m_totalSeconds));

    LoadMapPage();
    MoveMap(kMapHidden.x, kMapHidden.y, kMapHidden.w, kMapHidden.h);
    for (int id : {ctl::kMapTab, ctl::kRearTab, ctl::kMapEnlarge})
        EnableControl(id, false);
    m_rearPlace = ChannelCount() >= 2 ? 2 : 0;
    m_refreshTimer.start();
    RelayoutPictures();

    ShowPlayButton(false);
    m_player.Play();
    return true;
}

void CRavuraVezedaDlg::OnPlay() {
    if (m_exportRunning.load())
        return;
    const bool rows = RowCount() > 0;
    if (!(GateOpen(m_player.m_captureGate.load()) && rows)) {
        if (!rows)
            return;
        int selected = 0;
        const auto items = m_list->selectedItems();
        if (!items.isEmpty())
            selected = m_list->indexOfTopLevelItem(items.first());
        if (selected != m_currentRow) {
            m_currentRow = selected;
            if (!OpenRecording(RowName(m_currentRow)))
                return;
        }
        // The last row keeps its index, so NEXT and the advance at the end go on from it.
        SelectRow(m_currentRow, true);
    }
    ShowPlayButton(false);
    m_player.Play();
}

void CRavuraVezedaDlg::OnPause() {
    if (m_exportRunning.load())
        return;
    if (!GateOpen(m_player.m_captureGate.load()))
        return;
    ShowPlayButton(true);
    m_player.Pause();
}

void CRavuraVezedaDlg::OnStop() {
    const int gate = m_player.m_captureGate.load();
    if (gate <= CTRSMediaPlayer::kGateClosed) {
        m_sensorTrack.Clear();
        SetCtrlText(ctl::kSpeed, SpeedText(-1));
        m_graphShownSec = 0;
        ClearGraphWithBaseline(true);
        ResetSignalPanel();
        m_player.Pause();
        m_player.Close();
        m_player.SeekTo(0);
        m_refreshTimer.stop();
        {
            CSyncLock lock(m_player.m_lock);
            MoveVideo(m_frontView, kFrontHidden.x, kFrontHidden.y, 0, 0, false);
            MoveVideo(m_rearView, kRearHidden.x, kRearHidden.y, 0, 0, false);
        }
        m_seekSlider->SetPos(0);
        UpdateTimeLabels(0, 0);
        m_currentRow = -1;
        m_openName.clear();
        ShowPlayButton(true);
        // Bumped after Close, which delivered any end already on its way: a queued end of
        // this recording can no longer start the next one.
        m_openSerial.fetch_add(1);
        m_player.Close();
        SetChecked(ctl::kRearTab, false);
        SetChecked(ctl::kMapTab, false);
        // The toggle and the picture agree: an unchecked mirror shows the rear unmirrored.
        SetChecked(ctl::kMirror, false);
        m_player.SetFlip(1, 0);
        m_mapPlace = m_frontPlace = m_rearPlace = 0;
        // With no placement the map must not stay over the video area either.
        MoveMap(kMapHidden.x, kMapHidden.y, kMapHidden.w, kMapHidden.h);
        EnableControl(ctl::kMapEnlarge, false);
    }
    Invalidate();
}

void CRavuraVezedaDlg::OnNext() {
    if (m_exportRunning.load())
        return;
    if (m_currentRow <= 0) {
        OnStop();
        return;
    }
    if (RowCount() <= m_currentRow - 1)
        return;
    m_currentRow -= 1;
    const QString name = RowName(m_currentRow);
    if (name.isEmpty())
        return;
    SelectRow(m_currentRow, false);
    if (OpenRecording(name))
        m_list->scrollToItem(m_list->topLevelItem(m_currentRow));
}

void CRavuraVezedaDlg::OnPre() {
    if (m_exportRunning.load())
        return;
    if (RowCount() <= m_currentRow + 1) {
        OnStop();
        return;
    }
    m_currentRow += 1;
    const QString name = RowName(m_currentRow);
    if (name.isEmpty())
        return;
    SelectRow(m_currentRow, false);
    if (OpenRecording(name))
        m_list->scrollToItem(m_list->topLevelItem(m_currentRow));
}

void CRavuraVezedaDlg::OnJumpBack() {
    const int target = m_player.GetCurTime() - kJumpMs;
    if (target > 0)
        m_player.SeekTo(target);
}

void CRavuraVezedaDlg::OnJumpForward() {
    const int64_t target = static_cast<int64_t>(m_player.GetCurTime()) + kJumpMs;
    if (static_cast<int64_t>(m_seekSlider->GetRangeMax()) * 1000 - target > 1)
        m_player.SeekTo(static_cast<int>(target));
}

void CRavuraVezedaDlg::OnMuteToggle() {
    if (m_exportRunning.load())
        return;
    if (IsChecked(ctl::kMute))
        m_waveBox.SetVolume(0);
    else
        ApplyVolume(m_volumeSlider->GetPos());
}

void CRavuraVezedaDlg::OnMirrorToggle() {
    if (m_exportRunning.load())
        return;
    if (ChannelCount() < 2) {
        SetChecked(ctl::kMirror, false);
        return;
    }
    m_player.SetFlip(1, IsChecked(ctl::kMirror) ? 3 : 0);
    // A paused picture shows the change at once, not only once playback goes on.
    m_player.Redraw();
}

void CRavuraVezedaDlg::ApplyVolume(int level) {
    if (IsChecked(ctl::kMute)) {
        m_waveBox.SetVolume(0);
        return;
    }
    level = std::clamp(level, 0, 99);
    m_waveBox.SetVolume(static_cast<int>(level * 655.35));
    SetChecked(ctl::kMute, false);
}

void CRavuraVezedaDlg::OnSliderMoved(int id, int position) {
    if (m_exportRunning.load())
        return;
    switch (id) {
        case ctl::kSeekSlider:
            m_player.SeekTo((position + 1) * 1000);
            break;
        case ctl::kVolumeSlider:
            if (position <= 0) {
                SetChecked(ctl::kMute, true);
                m_waveBox.SetVolume(0);
            } else {
                SetChecked(ctl::kMute, false);
                ApplyVolume(position);
            }
            break;
        case ctl::kBrightSlider:
            m_player.SetBrightness(0, position);
            m_player.SetBrightness(1, position);
            m_player.Redraw();
            break;
        default:
            break;
    }
}

void CRavuraVezedaDlg::OnMediaEnd(unsigned serial) {
    if (serial != m_openSerial.load()) {
        std::printf("[Viewer] end of an earlier recording dropped\n");
        return;
    }
    // The next recording of the trip, which is the next newer row in the usual case.
    if (!OpenNextInTrip())
        OnNext();
}

void CRavuraVezedaDlg::OnRefreshTick() {
    // A drag of the seek bar is not disturbed. The bar's own state, not the application's
    // button state: that goes stale when a release is delivered elsewhere (a window manager
    // taking the second click of a double click), and the clock would freeze.
    if (m_seekSlider->IsDragging())
        return;
    const int gate = m_player.m_captureGate.load();
    const int64_t sec = m_player.GetCurTime() / 1000;
    if (gate == CTRSMediaPlayer::kGateStepped || gate == CTRSMediaPlayer::kGateClosed) {
        m_seekSlider->SetPos(static_cast<int>(sec));
        UpdateTimeLabels(sec, m_totalSeconds);
        return;
    }
    if (gate != CTRSMediaPlayer::kGatePlaying || sec == m_seekSlider->GetPos())
        return;
    m_seekSlider->SetPos(static_cast<int>(sec));
    m_seekSlider->update();
    UpdateTimeLabels(sec, m_totalSeconds);
    RefreshSensors(sec);
}

void CRavuraVezedaDlg::UpdateTimeLabels(int64_t current, int64_t total) {
    SetCtrlText(ctl::kCurrentTime, FormatClock(current));
    SetCtrlText(ctl::kTotalTime, FormatClock(total));
}

void CRavuraVezedaDlg::ShowPlayButton(bool play) {
    ShowControl(ctl::kPlay, play);
    ShowControl(ctl::kPause, !play);
}

void CRavuraVezedaDlg::MoveVideo(CVideoView* view, int x, int y, int w, int h, bool show) {
    view->Place(x, y, w, h);
    view->setVisible(show);
}

void CRavuraVezedaDlg::MoveMap(int x, int y, int w, int h) {
    m_mapView->setGeometry(x, y, w, h);
    m_mapView->setVisible(w > 0 && h > 0);
}

void CRavuraVezedaDlg::RelayoutPictures(int channels) {
    {
        // The player must not draw into a view while it moves.
        CSyncLock lock(m_player.m_lock);
        const bool two = (channels > 0 ? channels : ChannelCount()) >= 2;
        SetChecked(ctl::kMapTab, false);
        for (int id : {ctl::kSwapFull, ctl::kSwap})
            EnableControl(id, two);
        if (!two) {
            EnableControl(ctl::kRearTab, false);
            EnableControl(ctl::kMapTab, false);
        }
        const auto place = [](CVideoView* view, const Rect& r) {
            view->Place(r.x, r.y, r.w, r.h);
            view->show();
        };
        if (m_layoutMode == 1) {
            if (m_frontPlace == 0) {
                m_frontView->hide();
                SetChecked(ctl::kRearTab, false);
            } else if (m_frontPlace == 1) {
                place(m_frontView, kLarge);
            } else if (m_frontPlace == 2) {
                place(m_frontView, kSmall);
                SetChecked(ctl::kRearTab, true);
            }
            if (!two || m_rearPlace == 0) {
                m_rearView->hide();
                if (two) {
                    MoveMap(kMapHidden.x, kMapHidden.y, kMapHidden.w, kMapHidden.h);
                    SetChecked(ctl::kRearTab, false);
                }
            } else if (m_rearPlace == 1) {
                place(m_rearView, kLarge);
            } else if (m_rearPlace == 2) {
                place(m_rearView, kSmall);
                SetChecked(ctl::kRearTab, true);
            }
            if (m_mapPlace == 0) {
                MoveMap(kMapHidden.x, kMapHidden.y, kMapHidden.w, kMapHidden.h);
                SetChecked(ctl::kMapTab, false);
            } else if (m_mapPlace == 1) {
                MoveMap(kLarge.x, kLarge.y, 0, 0);
                MoveMap(kLarge.x, kLarge.y, kLarge.w, kLarge.h);
                if (m_frontPlace == 2) {
                    SetChecked(ctl::kRearTab, true);
                    SetChecked(ctl::kMapTab, false);
                } else if (m_rearPlace == 2) {
                    SetChecked(ctl::kRearTab, false);
                    SetChecked(ctl::kMapTab, true);
                }
            } else if (m_mapPlace == 2) {
                MoveMap(kMapHidden.x, kMapHidden.y, kMapHidden.w, kMapHidden.h);
                MoveMap(kSmall.x, kSmall.y, kSmall.w, kSmall.h);
                SetChecked(ctl::kMapTab, true);
            }
        } else {
            const Rect video{m_screenLayout[2], m_screenLayout[3], m_screenLayout[4],
                             m_screenLayout[5]};
            for (CVideoView* view : {m_frontView, m_rearView})
                view->Place(video.x, video.y, video.w, video.h);
            m_frontView->setVisible(m_frontPlace == 1);
            m_rearView->setVisible(m_rearPlace == 1);
            MoveMap(kMapHidden.x, kMapHidden.y, kMapHidden.w, kMapHidden.h);
        }
    }
    Invalidate();
}

void CRavuraVezedaDlg::OnSwap() {
    if (m_exportRunning.load() || ChannelCount() < 2)
        return;
    if (m_mapPlace == 0) {
        if (m_frontPlace == 1) {
            m_rearPlace = 1;
            m_frontPlace = 2;
        } else if (m_frontPlace == 2) {
            m_rearPlace = 2;
            m_frontPlace = 1;
        }
    } else if (m_mapPlace == 1) {
        if (m_frontPlace == 2) {
            m_frontPlace = 0;
            m_rearPlace = 2;
        } else if (m_rearPlace == 2) {
            m_rearPlace = 0;
            m_frontPlace = 2;
        }
    } else if (m_mapPlace == 2) {
        if (m_frontPlace == 1) {
            m_frontPlace = 0;
            m_rearPlace = 1;
        } else if (m_rearPlace == 1) {
            m_rearPlace = 0;
            m_frontPlace = 1;
        }
    }
    RelayoutPictures();
}

void CRavuraVezedaDlg::OnRearTab() {
    if (m_exportRunning.load() || ChannelCount() < 2)
        return;
    SetChecked(ctl::kRearTab, true);
    SetChecked(ctl::kMapTab, false);
    if (m_mapPlace == 1) {
        m_frontPlace = 1;
        m_rearPlace = 2;
    } else if (m_frontPlace == 1) {
        m_rearPlace = 2;
    } else if (m_rearPlace == 1) {
        m_frontPlace = 2;
    }
    m_mapPlace = 0;
    RelayoutPictures();
}

void CRavuraVezedaDlg::OnMapTab() {
    if (m_exportRunning.load() || ChannelCount() < 2)
        return;
    SetChecked(ctl::kRearTab, false);
    SetChecked(ctl::kMapTab, true);
    if (m_mapPlace == 1) {
        m_rearPlace = 2;
        m_frontPlace = 0;
    } else {
        m_mapPlace = 2;
        if (m_frontPlace == 2)
            m_frontPlace = 0;
        if (m_rearPlace == 2)
            m_rearPlace = 0;
    }
    RelayoutPictures();
}

void CRavuraVezedaDlg::OnMapEnlarge() {
    if (m_exportRunning.load())
        return;
    const int channels = ChannelCount();
    if (channels <= 0)
        return;
    if (channels == 1) {
        if (m_mapPlace != 1) {
            m_frontPlace = 2;
            m_mapPlace = 1;
            m_rearPlace = 0;
        } else {
            m_mapPlace = 2;
            m_frontPlace = 1;
            EnableControl(ctl::kRearTab, false);
        }
    } else if (m_mapPlace != 1) {
        m_mapPlace = 1;
        if (m_frontPlace == 1) {
            m_rearPlace = 0;
            m_frontPlace = 2;
        } else if (m_rearPlace == 1) {
            m_rearPlace = 2;
            m_frontPlace = 0;
        }
    } else {
        m_mapPlace = 2;
        if (m_frontPlace == 2) {
            m_frontPlace = 1;
            m_rearPlace = 0;
        } else if (m_rearPlace == 2) {
            m_rearPlace = 1;
            m_frontPlace = 0;
        }
    }
    RelayoutPictures();
}

bool CRavuraVezedaDlg::HandleKey(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_layoutMode == 1)
                OnFullScreen();
            else
                OnPreviousSize();
            return true;
        case Qt::Key_Space:
            if (Control(ctl::kPlay)->isVisible() && RowCount() > 0)
                OnPlay();
            else
                OnPause();
            return true;
        case Qt::Key_PageUp:
            OnNext();
            return true;
        case Qt::Key_PageDown:
            OnPre();
            return true;
        case Qt::Key_Left:
            OnJumpBack();
            return true;
        case Qt::Key_Right:
            OnJumpForward();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            // Over the list the arrows move its selection; elsewhere they set the volume,
            // which is applied at once.
            if (m_list->isVisible() && m_list->geometry().contains(mapFromGlobal(QCursor::pos())))
                return false;
            const int step = key == Qt::Key_Up ? kVolumeKeyStep : -kVolumeKeyStep;
            const int level = std::clamp(m_volumeSlider->GetPos() + step, 0, 99);
            m_volumeSlider->SetPos(level);
            OnSliderMoved(ctl::kVolumeSlider, level);
            return true;
        }
        case Qt::Key_F2:
            OnOpenButton();
            return true;
        case Qt::Key_F3:
            OnSettingsButton();
            return true;
        default:
            return true;
    }
}

}  // namespace locket
