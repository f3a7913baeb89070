// The viewer's one window: owns the engine objects and every control, plays recordings of the
// recorder card and shows their pictures, sound, time and sensor overlays.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/decoder.h"
#include "engine/media_player.h"
#include "engine/wave_box.h"
#include "files/tat_parser.h"
#include "files/text_data.h"
#include "files/trip_index.h"
#include "tat/tat_library.h"
#include "viewer/control_ids.h"
#include "viewer/viewer_options.h"
#include "viewer/zoom_dlg.h"

class QCheckBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace locket {

class CBitmapButtonTrans;
class CEvidenceControls;
class CSettingDlg;
class CExportWorker;
class CProgressDlg;
class CBitmapSlider;
class CGraphSeries;
class CGraphStatic;
class CMapView;
class CVideoView;
class CxSkinButton;
class TransBitmap;

class CRavuraVezedaDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRavuraVezedaDlg(const ViewerOptions& options, QWidget* parent = nullptr);
    ~CRavuraVezedaDlg() override;

    // Builds the controls, starts the engine and the card poll. Called once, before show.
    bool OnInitDialog();

    // The control with this id (null for none), so tests and the layout tables reach every
    // control the same way.
    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }

    // --- start-up and window (main_window.cpp)
    void SaveViewerConfig();
    void LoadViewerConfig();
    void SetCtrlText(int id, const QString& text);
    void SetSignalIcon(int id, int bitmapId);
    void OnCloseButton();
    void OnMinimizeButton();
    // The text of a Korean/English pair in the window's language.
    QString PairText(int koreanId) const;
    int LangId() const { return m_langId; }

    // --- recording list and card poll (recording_list.cpp)
    void PollCard();
    void OnOpenButton();
    void OnCategoryButton(int category);
    bool FillRecordingList(int category);
    void GatherRecordingNames(int category, std::vector<std::string>* out);
    void ApplySelectAll();
    void OnListDoubleClick(int row);
    int RowCount() const;
    QString RowName(int row) const;
    bool IsRowChecked(int row) const;
    void SetRowChecked(int row, bool checked);

    // --- playback (playback_controls.cpp)
    bool OpenRecording(const QString& name);
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnNext();
    void OnPre();
    void OnJumpBack();
    void OnJumpForward();
    void OnMuteToggle();
    void OnMirrorToggle();
    void OnSwap();
    void OnRearTab();
    void OnMapTab();
    void OnMapEnlarge();
    void OnSliderMoved(int id, int position);
    void OnMediaEnd(unsigned serial);
    void OnRefreshTick();
    void UpdateTimeLabels(int64_t current, int64_t total);
    void ApplyVolume(int level);
    // `channels` of the recording about to open; by default the open one's.
    void RelayoutPictures(int channels = 0);
    bool HandleKey(int key);

    // --- sensor overlays (sensor_overlays.cpp)
    void ApplySignals();
    void ResetSignalPanel();
    void PlaceSignalPanel();
    bool EnableMapControls(CGPSData* fix = nullptr);
    void RefreshSensors(int64_t sec);
    void LoadMapPage();

    // --- trips on the map, speed unit (trips.cpp)
    void SetUpTrips();
    void GroupTripsOfList();
    void ShowTripOnMap();
    void ShowTripInfo();
    bool OpenNextInTrip();
    void OnRouteClicked(double latitudeDeg, double longitudeDeg);
    void ToggleSpeedUnit();
    QString SpeedText(double kmh) const;
    bool SpeedInMph() const { return m_speedMph; }
    CTripIndex& Trips() { return m_trips; }

    // --- recorder settings (settings_button.cpp)
    void OnSettingsButton();
    bool OpenSettingsForCard();
    bool ShowSettingsDialog(const std::string& path);
    // The settings dialog while it is open without blocking (tests); null otherwise.
    CSettingDlg* SettingsDialog() const;

    // --- window modes (window_modes.cpp)
    void ComputeVideoRect();
    void Layout(int mode);
    void FitToBackground();
    void OnFullScreen();
    void OnPreviousSize();

    // --- export (recording_export.cpp), still capture (still_capture.cpp), magnifier
    void OnFileDownload();
    void CollectCheckedNames();
    void ChooseTargetFolder();
    // Card removed: the batch ends at the worker's next look at the flag.
    void StopExport();
    // Returns once no export pass runs (after Cancel or card removal the copy may still be
    // closing its file).
    void WaitExportIdle();
    void OnCapture();
    void OnZoom();
    QString TargetFolder() const { return m_targetFolder; }
    QStringList ExportNames() const { return m_exportNames; }
    bool ExportRunning() const { return m_exportRunning.load() != 0; }
    CProgressDlg* ProgressDlg() const { return m_progressDlg; }
    CZoomDlg* ZoomDlg() const { return m_zoomDlg; }
    CExportWorker* ExportWorker() const { return m_exportWorker.get(); }
    // Knock marks, picture steps, play speed, clip marks and the clip export menu.
    CEvidenceControls* Evidence() const { return m_evidence; }
    // Later folder and file dialogs call this instead of asking (tests); an empty path is a
    // cancelled dialog.
    void SetPathAnswer(std::function<QString()> answer) { m_pathAnswer = std::move(answer); }

    // State the tests read.
    int CurrentRow() const { return m_currentRow; }
    int LayoutMode() const { return m_layoutMode; }
    int FrontPlace() const { return m_frontPlace; }
    int RearPlace() const { return m_rearPlace; }
    int MapPlace() const { return m_mapPlace; }
    int64_t TotalSeconds() const { return m_totalSeconds; }
    int GraphShownSec() const { return m_graphShownSec; }
    char CardDrive() const { return m_cardDrive; }
    int CategoryShown() const { return m_categoryShown; }
    CTRSMediaPlayer& Player() { return m_player; }
    CTextData& SensorTrack() { return m_sensorTrack; }
    CGraphStatic* Graph() const { return m_graph; }
    CGraphSeries* Series(int i) const { return m_series[i]; }
    CVideoView* FrontView() const { return m_frontView; }
    CVideoView* RearView() const { return m_rearView; }
    unsigned OpenSerial() const { return m_openSerial.load(); }
    CMapView* MapView() const { return m_mapView; }
    CWaveBox& WaveBox() { return m_waveBox; }
    std::array<int, 6> ScreenLayout() const { return m_screenLayout; }
    bool IsTimerRunning(int id) const;
    // The message box shown last (its text), for tests; empty when none.
    QString LastMessage() const { return m_lastMessage; }
    // Answers every later message box with this button instead of showing it (tests).
    void SetAutoAnswer(int answer);

signals:
    // The window is up with its controls in place (tests and benchmarks wait on it).
    void Initialised();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void reject() override;

private:
    friend class CEvidenceControls;

    // Player callbacks: run on the player's thread, only append or post.
    static void OnPlayerEvent(void* context, int code, int a, int b);
    static void OnTextPacket(void* context, const uint8_t* data, int size, int timeMs);

    void CreateControls();
    void ApplySkins();
    void ConnectControls();
    void InsertListColumns();
    void ApplyLabelColours();
    void PlaceControl(int id, int x, int y, int w, int h);
    void MoveControl(int id, int x, int y);
    void ShowControl(int id, bool show);
    void EnableControl(int id, bool enable);
    void SetChecked(int id, bool checked);
    bool IsChecked(int id) const;
    void MoveVideo(CVideoView* view, int x, int y, int w, int h, bool show);
    void MoveMap(int x, int y, int w, int h);
    void SelectRow(int row, bool focusList);
    void ShowPlayButton(bool play);
    int ShowMessage(const QString& text, const QString& caption, bool question);
    void StopRefreshTimer();
    void ClearGraphWithBaseline(bool baseline);
    void Invalidate();
    int ChannelCount() { return m_player.GetChannelCount(); }
    // Window managers apply full screen and restore later than asked.
    void OnWindowResized();
    void SetUpExport();
    void ShutdownExport();
    QString ProfilePath() const;
    QString AskFolder(const QString& title);
    QString AskSaveFile(const QString& defaultName, const QString& filter);

    ViewerOptions m_options;

    // Engine objects, wired into the player in OnInitDialog. Destroyed after the controls.
    CTATParser m_tatParser;
    CDecoder m_decoder;
    CWaveBox m_waveBox;
    CTRSMediaPlayer m_player;
    TatHandle m_tatHandle = nullptr;

    int m_langId = 0;
    char m_cardDrive = 0;
    // Set while an export is requested or running; written by the export worker too.
    std::atomic<int> m_exportRunning{0};
    int m_currentRow = -1;
    int m_layoutMode = 1;
    int m_frontPlace = 0;
    int m_rearPlace = 0;
    int m_mapPlace = 0;
    int64_t m_totalSeconds = 0;
    int m_graphShownSec = 0;
    int m_categoryShown = -1;
    bool m_mapPageLoaded = false;
    bool m_redrawPictures = false;
    bool m_closing = false;
    bool m_initialised = false;
    // Back from full screen: the window manager's late restore may still change the size.
    bool m_refitPending = false;
    QString m_openName;
    QString m_lastMessage;
    std::array<int, 6> m_screenLayout{};
    QRect m_savedWindowRect;
    QImage m_background;

    // Open counter: an end event carries the value it had when the player raised it, so an
    // end of an earlier recording that is still queued is dropped.
    std::atomic<unsigned> m_openSerial{0};

    // Sensor track and signal values: CTextData locks itself; the panel is GUI-thread only.
    CTextData m_sensorTrack;

    // Controls by id; owned by Qt's parent chain.
    std::map<int, QWidget*> m_controls;
    CVideoView* m_frontView = nullptr;
    CVideoView* m_rearView = nullptr;
    CMapView* m_mapView = nullptr;
    CGraphStatic* m_graph = nullptr;
    CGraphSeries* m_series[3] = {nullptr, nullptr, nullptr};
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_selectAll = nullptr;
    CBitmapSlider* m_seekSlider = nullptr;
    CBitmapSlider* m_volumeSlider = nullptr;
    CBitmapSlider* m_brightSlider = nullptr;

    QPointer<CSettingDlg> m_settingsDialog;
    // Export: the worker reports through queued signals; a report of an earlier batch (its
    // serial) is dropped.
    std::unique_ptr<CExportWorker> m_exportWorker;
    CProgressDlg* m_progressDlg = nullptr;
    QString m_targetFolder;
    QStringList m_exportNames;
    int m_exportSerial = 0;
    std::function<QString()> m_pathAnswer;
    QPointer<CZoomDlg> m_zoomDlg;
    CEvidenceControls* m_evidence = nullptr;  // a child; deleted first on the way down

    // Trips of the card and the unit of speeds.
    CTripIndex m_trips;
    bool m_speedMph = false;
    double m_lastGpsKmh = -1;

    QTimer m_refreshTimer;  // 100
    QTimer m_pollTimer;     // 102
};

}  // namespace locket
