#include "viewer/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidget>
#include <QWindow>

#include <cstdio>
#include <cstring>

#include "viewer/control_ids.h"
#include "viewer/control_table.h"
#include "viewer/evidence_controls.h"
#include "viewer/export_worker.h"
#include "viewer/qt_translation.h"
#include "viewer/video_view.h"
#include "viewer/viewer_config.h"
#include "widgets/bitmap_button_trans.h"
#include "widgets/bitmap_slider.h"
#include "widgets/graph_static.h"
#include "widgets/map_view.h"
#include "widgets/skin_button.h"
#include "widgets/skin_images.h"
#include "widgets/string_table.h"
#include "widgets/trans_bitmap.h"
#include "widgets/window_messages.h"
#include "widgets/window_palette.h"

namespace locket {

namespace {

// The orange of the time, speed and value labels: RGB(247, 88, 46).
const QColor kLabelColour(247, 88, 46);
const char* const kValueFontFace = "NanumGothicCoding";

bool IsOrangeAlways(int id) {
    return id == ctl::kCurrentTime || id == ctl::kTotalTime || id == ctl::kSpeed;
}

bool IsOrangeWhenFilled(int id) {
    return id == ctl::kSelectAll || id == ctl::kRpmValue || id == ctl::kTempValue ||
           id == ctl::kSpeedValue;
}

int SystemLanguageId() {
    return QLocale::system().language() == QLocale::Korean ? kLangKorean : 0x09;
}

}  // namespace

CRavuraVezedaDlg::CRavuraVezedaDlg(const ViewerOptions& options, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Window), m_options(options) {
    setWindowIcon(QIcon(QStringLiteral(":/viewer/locket-viewer.svg")));
    m_layoutMode = 1;
    m_currentRow = -1;
    m_refreshTimer.setInterval(1000);
    m_pollTimer.setInterval(1000);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CRavuraVezedaDlg::OnRefreshTick);
    connect(&m_pollTimer, &QTimer::timeout, this, &CRavuraVezedaDlg::PollCard);
}

CRavuraVezedaDlg::~CRavuraVezedaDlg() {
    // Its filters watch controls that go away with the window.
    delete m_evidence;
    m_evidence = nullptr;
    if (!m_initialised)
        return;
    // Settings first, then the engine from the top down: no player pass may run once the
    // library handle it reads through is gone.
    SaveViewerConfig();
    m_pollTimer.stop();
    m_refreshTimer.stop();
    // The export reads the card through a handle of its own; it ends before the player.
    ShutdownExport();
    m_player.Shutdown();
    if (m_tatHandle)
        TatDestroy(m_tatHandle);
    m_tatHandle = nullptr;
    CTATParser::SetLibraryHandle(nullptr);
}

QWidget* CRavuraVezedaDlg::Control(int id) const {
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void CRavuraVezedaDlg::CreateControls() {
    for (const ControlDef& def : MainWindowControls()) {
        QWidget* widget = nullptr;
        switch (def.kind) {
            case ControlKind::kButton: {
                auto* button = new CBitmapButtonTrans(this);
                button->setFocusPolicy(Qt::NoFocus);
                widget = button;
                break;
            }
            case ControlKind::kSkinCheck: {
                auto* button = new CxSkinButton(CxSkinButton::kCheckBox, this);
                button->setFocusPolicy(Qt::NoFocus);
                widget = button;
                break;
            }
            case ControlKind::kSlider:
                widget = new CBitmapSlider(def.id, this);
                break;
            case ControlKind::kLabel: {
                auto* label = new QLabel(this);
                label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                label->setAttribute(Qt::WA_TransparentForMouseEvents);
                widget = label;
                break;
            }
            case ControlKind::kPicture: {
                auto* picture = new TransBitmap(this);
                picture->setAttribute(Qt::WA_TransparentForMouseEvents);
                if (def.skin[0])
                    picture->SetBitmapId(def.skin[0]);
                widget = picture;
                break;
            }
            case ControlKind::kBar: {
                // A thin slice of the bar's skin, stretched to the screen's width.
                auto* bar = new QLabel(this);
                bar->setScaledContents(true);
                bar->setPixmap(QPixmap::fromImage(LoadSkinImage(def.skin[0])));
                widget = bar;
                break;
            }
            case ControlKind::kVideo: {
                auto* view = new CVideoView(this);
                (def.id == ctl::kFrontView ? m_frontView : m_rearView) = view;
                widget = view;
                break;
            }
            case ControlKind::kList: {
                m_list = new QTreeWidget(this);
                widget = m_list;
                break;
            }
            case ControlKind::kCheckBox: {
                m_selectAll = new QCheckBox(this);
                m_selectAll->setFocusPolicy(Qt::NoFocus);
                widget = m_selectAll;
                break;
            }
            case ControlKind::kGraph:
                m_graph = new CGraphStatic(this);
                widget = m_graph;
                break;
            case ControlKind::kMap:
                m_mapView = new CMapView(this);
                widget = m_mapView;
                break;
        }
        widget->setObjectName(QStringLiteral("ctl%1").arg(def.id));
        widget->installEventFilter(this);
        m_controls[def.id] = widget;
    }
    m_seekSlider = ControlAs<CBitmapSlider>(ctl::kSeekSlider);
    m_volumeSlider = ControlAs<CBitmapSlider>(ctl::kVolumeSlider);
    m_brightSlider = ControlAs<CBitmapSlider>(ctl::kBrightSlider);
    // Bars lie behind the controls placed on them.
    for (int id : {ctl::kBarTop, ctl::kBarMiddle, ctl::kBarBottom})
        Control(id)->lower();
}

void CRavuraVezedaDlg::ApplySkins() {
    for (const ControlDef& def : MainWindowControls()) {
        if (def.kind == ControlKind::kButton) {
            auto* button = ControlAs<CBitmapButtonTrans>(def.id);
            button->SetTransColor(0);
            button->LoadBitmaps(def.skin[0], def.skin[1], def.skin[2], def.skin[3]);
            button->SizeToContent();
        } else if (def.kind == ControlKind::kSkinCheck) {
            ControlAs<CxSkinButton>(def.id)->SetSkin(def.skin[0], def.skin[1], def.skin[2],
                                                     def.skin[3]);
        }
    }
    // The seek bar keys out the colour of its own top-left pixel.
    m_seekSlider->SetBitmapChannel(443, 444, true, kKeyFromPixel);
    for (CBitmapSlider* slider : {m_volumeSlider, m_brightSlider}) {
        slider->SetBitmapChannel(422, 423);
        slider->SetBitmapThumb(420, 420, true, kKeyFromPixel);
    }
    m_volumeSlider->SetPageSize(25);
    m_volumeSlider->SetRange(0, 99);
    m_brightSlider->SetRange(-5, 5);
}

void CRavuraVezedaDlg::ConnectControls() {
    const std::pair<int, void (CRavuraVezedaDlg::*)()> clicks[] = {
        {ctl::kMinimize, &CRavuraVezedaDlg::OnMinimizeButton},
        {ctl::kClose, &CRavuraVezedaDlg::OnCloseButton},
        {ctl::kPlay, &CRavuraVezedaDlg::OnPlay},
        {ctl::kPause, &CRavuraVezedaDlg::OnPause},
        {ctl::kStop, &CRavuraVezedaDlg::OnStop},
        {ctl::kNext, &CRavuraVezedaDlg::OnNext},
        {ctl::kPre, &CRavuraVezedaDlg::OnPre},
        {ctl::kBack10, &CRavuraVezedaDlg::OnJumpBack},
        {ctl::kForward10, &CRavuraVezedaDlg::OnJumpForward},
        {ctl::kOpen, &CRavuraVezedaDlg::OnOpenButton},
        {ctl::kSettings, &CRavuraVezedaDlg::OnSettingsButton},
        {ctl::kMute, &CRavuraVezedaDlg::OnMuteToggle},
        {ctl::kMirror, &CRavuraVezedaDlg::OnMirrorToggle},
        {ctl::kSwap, &CRavuraVezedaDlg::OnSwap},
        {ctl::kSwapFull, &CRavuraVezedaDlg::OnSwap},
        {ctl::kRearTab, &CRavuraVezedaDlg::OnRearTab},
        {ctl::kMapTab, &CRavuraVezedaDlg::OnMapTab},
        {ctl::kMapEnlarge, &CRavuraVezedaDlg::OnMapEnlarge},
        {ctl::kFullScreen, &CRavuraVezedaDlg::OnFullScreen},
        {ctl::kPreviousSize, &CRavuraVezedaDlg::OnPreviousSize},
        {ctl::kSelectAll, &CRavuraVezedaDlg::ApplySelectAll},
        {ctl::kDownload, &CRavuraVezedaDlg::OnFileDownload},
        {ctl::kCapture, &CRavuraVezedaDlg::OnCapture},
        {ctl::kZoom, &CRavuraVezedaDlg::OnZoom},
    };
    for (const auto& [id, handler] : clicks) {
        auto* button = ControlAs<QAbstractButton>(id);
        connect(button, &QAbstractButton::clicked, this, handler);
    }
    const std::pair<int, int> categories[] = {{ctl::kCatEvent, 0},
                                              {ctl::kCatDriving, 1},
                                              {ctl::kCatParking, 2},
                                              {ctl::kCatManual, 3},
                                              {ctl::kCatAll, 4}};
    for (const auto& [id, category] : categories) {
        connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, category = category] { OnCategoryButton(category); });
    }
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        OnListDoubleClick(m_list->indexOfTopLevelItem(item));
    });
    // Only a person's click reaches here: fills run with the list's signals blocked.
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column != 0)
            return;
        bool all = RowCount() > 0;
        for (int row = 0; row < RowCount() && all; ++row)
            all = IsRowChecked(row);
        m_selectAll->setChecked(all);
        ApplyLabelColours();
    });
}

void CRavuraVezedaDlg::InsertListColumns() {
    // Korean / English widths; 0 hides the column.
    struct Column {
        int koreanWidth, englishWidth;
        Qt::Alignment align;
    };
    static constexpr Column kColumns[] = {
        {60, 60, Qt::AlignHCenter}, {0, 0, Qt::AlignLeft},     {130, 180, Qt::AlignHCenter},
        {40, 60, Qt::AlignHCenter}, {0, 90, Qt::AlignHCenter}, {0, 0, Qt::AlignHCenter},
    };
    m_list->setColumnCount(6);
    static constexpr int kHeaders[] = {string_id::kHeaderType, string_id::kHeaderFileName,
                                       string_id::kHeaderDate, string_id::kHeaderRear,
                                       string_id::kHeaderSize, string_id::kHeaderPath};
    QStringList headers;
    for (int id : kHeaders)
        headers << PairText(id);
    m_list->setHeaderLabels(headers);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionsMovable(false);
    for (int column = 0; column < 6; ++column) {
        const int width =
            m_langId == kLangKorean ? kColumns[column].koreanWidth : kColumns[column].englishWidth;
        m_list->headerItem()->setTextAlignment(column, kColumns[column].align | Qt::AlignVCenter);
        m_list->setColumnWidth(column, width);
        m_list->setColumnHidden(column, width == 0);
    }
    m_list->setStyleSheet(QStringLiteral(
        "QTreeWidget { background: black; color: white; border: 1px solid #303338; }"
        "QTreeWidget::item { color: white; background: black; }"
        "QTreeWidget::item:selected { background: #1d3f6e; }"
        "QTreeWidget::indicator { width: 11px; height: 11px; border: 1px solid #9aa3ad;"
        " background: black; }"
        "QTreeWidget::indicator:checked { background: #f7582e; }"
        "QHeaderView { background: #202328; }"
        "QHeaderView::section { background: #202328; color: #d8d8d8; border: 0px;"
        " padding: 1px; }"));
}

void CRavuraVezedaDlg::ApplyLabelColours() {
    for (const auto& [id, widget] : m_controls) {
        if (!IsOrangeAlways(id) && !IsOrangeWhenFilled(id))
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        QPalette palette = widget->palette();
        const bool orange = IsOrangeAlways(id) || !text.isEmpty();
        palette.setColor(QPalette::WindowText, orange ? kLabelColour : QColor(Qt::black));
        palette.setColor(QPalette::ButtonText, orange ? kLabelColour : QColor(Qt::black));
        widget->setPalette(palette);
    }
}

bool CRavuraVezedaDlg::OnInitDialog() {
    m_langId = m_options.langId >= 0 ? m_options.langId : SystemLanguageId();
    ApplyQtTranslation(m_langId);
    SetSkinLanguage(m_langId);
    CTATParser::SetKeyFrameGroupLength(24);
    m_mapPageLoaded = false;
    setWindowTitle(LoadString(string_id::kTitle));

    CreateControls();
    ApplySkins();
    resize(1020, 594);

    // Engine: the player gets its parts and callbacks before the library exists; every open
    // hands the parser the handle again.
    m_player.SetEventCallback(&CRavuraVezedaDlg::OnPlayerEvent, this);
    m_player.m_pDecoder = &m_decoder;
    m_player.m_pParser = &m_tatParser;
    m_player.m_pAudio = &m_waveBox;
    m_player.SetTextCallback(&CRavuraVezedaDlg::OnTextPacket, this);
    CTATParser::SetLibraryHandle(m_tatHandle);
    MoveVideo(m_frontView, 4, 64, 0, 0, false);
    MoveVideo(m_rearView, 650, 268, 0, 0, false);

    m_tatHandle = TatCreate();
    TatProductInfo info{};
    std::strncpy(info.company, "Brindle Road", sizeof info.company - 1);
    std::strncpy(info.product, "Locket", sizeof info.product - 1);
    std::strncpy(info.model, "KX2", sizeof info.model - 1);
    std::strncpy(info.version, LOCKET_VERSION, sizeof info.version - 1);
    TatSetProductInfo(m_tatHandle, info);
    if (!m_options.watchVolumes)
        TatSetMountsFile(m_tatHandle, "");
    if (!m_options.cardFolder.empty() &&
        !TatRegisterCardFolder(m_tatHandle, m_options.cardFolder.c_str()))
        std::printf("[Viewer] %s is not a recorder card\n", m_options.cardFolder.c_str());
    m_cardDrive = 0;
    m_exportRunning.store(0);
    m_player.Start(m_frontView, m_rearView);
    m_pollTimer.start();

    m_layoutMode = 1;
    m_frontPlace = m_rearPlace = m_mapPlace = 0;
    MoveMap(650, 268, 0, 0);
    PlaceControl(ctl::kSeekSlider, 92, 432, 390, 14);
    PlaceControl(ctl::kListHeader, 648, 65, 325, 18);
    PlaceControl(ctl::kList, 648, 83, 325, 130);
    InsertListColumns();
    m_selectAll->setText(PairText(string_id::kSelectAll));
    LoadViewerConfig();
    SetUpExport();
    m_evidence = new CEvidenceControls(this);

    ComputeVideoRect();
    Layout(m_layoutMode);

    QFont valueFont(QString::fromLatin1(kValueFontFace));
    valueFont.setPointSizeF(15);
    for (int id : {ctl::kSpeedValue, ctl::kTempValue, ctl::kRpmValue}) {
        Control(id)->setFont(valueFont);
        ControlAs<QLabel>(id)->setAlignment(Qt::AlignCenter);
    }
    ResetSignalPanel();
    FitToBackground();

    m_graph->SetRange(200, 50);
    m_graph->SetXStep(13);
    m_graph->SetGridVisible(true);
    m_series[0] = m_graph->AddSeries(0xFF0000, 1);
    m_series[1] = m_graph->AddSeries(0x00FFFF, 1);
    m_series[2] = m_graph->AddSeries(0x0000FF, 1);
    m_graphShownSec = 0;

    PlaceControl(ctl::kPlay, 261, 473, 15, 17);
    PlaceControl(ctl::kPause, 261, 473, 15, 17);
    ShowPlayButton(true);
    UpdateTimeLabels(0, 0);
    ApplyLabelColours();
    ConnectControls();
    SetUpTrips();
    installEventFilter(this);
    m_initialised = true;
    // A card already in place is listed at once rather than at the poll's first tick.
    QTimer::singleShot(0, this, &CRavuraVezedaDlg::PollCard);
    emit Initialised();
    return true;
}

void CRavuraVezedaDlg::LoadViewerConfig() {
    const ViewerConfig config = ReadViewerConfig(ViewerConfigPath(m_options.configFolder));
    m_brightSlider->SetPos(config.brightness);
    m_player.SetBrightness(0, config.brightness);
    m_player.SetBrightness(1, config.brightness);
    m_player.Redraw();
    m_volumeSlider->SetPos(config.volume);
    ApplyVolume(config.volume);
}

void CRavuraVezedaDlg::SaveViewerConfig() {
    ViewerConfig config;
    config.brightness = m_brightSlider->GetPos();
    config.volume = m_volumeSlider->GetPos();
    if (!WriteViewerConfig(ViewerConfigPath(m_options.configFolder), config))
        std::printf("[Viewer] config.cfg not written\n");
}

QString CRavuraVezedaDlg::PairText(int koreanId) const {
    return LoadPairString(koreanId, m_langId);
}

void CRavuraVezedaDlg::SetCtrlText(int id, const QString& text) {
    QWidget* widget = Control(id);
    auto* label = qobject_cast<QLabel*>(widget);
    if (!label || label->text() == text)
        return;
    label->setText(text);
    if (IsOrangeWhenFilled(id))
        ApplyLabelColours();
}

void CRavuraVezedaDlg::SetSignalIcon(int id, int bitmapId) {
    if (auto* picture = ControlAs<TransBitmap>(id))
        picture->SetBitmapId(bitmapId);
}

void CRavuraVezedaDlg::OnCloseButton() {
    if (m_exportRunning.load())
        return;
    WaitExportIdle();
    SaveViewerConfig();
    OnStop();
    m_refreshTimer.stop();
    m_pollTimer.stop();
    const int answer =
        ShowMessage(PairText(string_id::kQuitQuestion), PairText(string_id::kQuitCaption), true);
    if (answer == QMessageBox::Yes) {
        m_closing = true;
        done(QDialog::Accepted);
        return;
    }
    // Without the poll a card pulled or inserted later would never be noticed.
    m_pollTimer.start();
}

void CRavuraVezedaDlg::OnMinimizeButton() {
    if (m_exportRunning.load())
        return;
    showMinimized();
}

int CRavuraVezedaDlg::ShowMessage(const QString& text, const QString& caption, bool question) {
    m_lastMessage = text;
    std::printf("[Viewer] message: %s\n", text.toUtf8().constData());
    if (m_options.autoAnswer)
        return m_options.autoAnswer;
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::NoIcon, caption, text,
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, this);
    box.setPalette(WindowPalette());
    return box.exec();
}

void CRavuraVezedaDlg::SetAutoAnswer(int answer) {
    m_options.autoAnswer = answer;
}

void CRavuraVezedaDlg::PlaceControl(int id, int x, int y, int w, int h) {
    if (QWidget* widget = Control(id))
        widget->setGeometry(x, y, w, h);
}

void CRavuraVezedaDlg::MoveControl(int id, int x, int y) {
    if (QWidget* widget = Control(id))
        widget->move(x, y);
}

void CRavuraVezedaDlg::ShowControl(int id, bool show) {
    if (QWidget* widget = Control(id))
        widget->setVisible(show);
}

void CRavuraVezedaDlg::EnableControl(int id, bool enable) {
    if (QWidget* widget = Control(id))
        widget->setEnabled(enable);
}

void CRavuraVezedaDlg::SetChecked(int id, bool checked) {
    if (auto* button = ControlAs<CxSkinButton>(id))
        button->SetCheck(checked);
}

bool CRavuraVezedaDlg::IsChecked(int id) const {
    auto* button = ControlAs<CxSkinButton>(id);
    return button && button->GetCheck();
}

bool CRavuraVezedaDlg::IsTimerRunning(int id) const {
    if (id == ctl::kRefreshTimer)
        return m_refreshTimer.isActive();
    if (id == ctl::kPollTimer)
        return m_pollTimer.isActive();
    return false;
}

void CRavuraVezedaDlg::Invalidate() {
    m_redrawPictures = true;
    update();
}

void CRavuraVezedaDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_background.isNull())
        painter.drawImage(QRect(QPoint(0, 0), size()), m_background, QRect(QPoint(0, 0), size()));
    // Only after a relayout: the views may have new sizes and need their pictures scaled anew.
    if (m_redrawPictures && m_initialised) {
        m_redrawPictures = false;
        m_player.Redraw();
    }
}

void CRavuraVezedaDlg::mousePressEvent(QMouseEvent* event) {
    // The window has no title bar: in the window layout its background drags it.
    if (event->button() == Qt::LeftButton && m_layoutMode == 1 && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CRavuraVezedaDlg::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    // A close from the window manager asks the same question as the close button.
    event->ignore();
    OnCloseButton();
}

void CRavuraVezedaDlg::reject() {
    // Esc must not end the viewer; only the close button and its question do.
}

void CRavuraVezedaDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_initialised)
        OnWindowResized();
}

bool CRavuraVezedaDlg::event(QEvent* event) {
    switch (static_cast<int>(event->type())) {
        case WM_MEDIA_END:
            OnMediaEnd(static_cast<unsigned>(static_cast<CWindowMessage*>(event)->WParam()));
            return true;
        case WM_SIGNALS_UPDATED:
            ApplySignals();
            return true;
        case WM_BITMAPSLIDER_MOVED: {
            auto* message = static_cast<CWindowMessage*>(event);
            OnSliderMoved(static_cast<int>(message->WParam()), static_cast<int>(message->LParam()));
            return true;
        }
        default:
            return QDialog::event(event);
    }
}

bool CRavuraVezedaDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (m_exportRunning.load())
        return true;
    if (m_evidence && m_evidence->HandleKey(key->key(), key->modifiers()))
        return true;
    return HandleKey(key->key());
}

void CRavuraVezedaDlg::OnPlayerEvent(void* context, int code, int, int) {
    if (code != CTRSMediaPlayer::kEventMediaEnd)
        return;
    auto* self = static_cast<CRavuraVezedaDlg*>(context);
    PostWindowMessage(self, WM_MEDIA_END, self->m_openSerial.load());
}

void CRavuraVezedaDlg::OnTextPacket(void* context, const uint8_t* data, int size, int timeMs) {
    auto* self = static_cast<CRavuraVezedaDlg*>(context);
    if (self->m_sensorTrack.AddTextPacket(data, size, timeMs) == kTextSignals)
        PostWindowMessage(self, WM_SIGNALS_UPDATED);
}

}  // namespace locket
