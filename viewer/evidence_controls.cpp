#include "viewer/evidence_controls.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTreeWidget>

#include <algorithm>
#include <iterator>

#include "export/clip_converter.h"
#include "files/knock_finder.h"
#include "files/sensor_log.h"
#include "viewer/export_worker.h"
#include "viewer/main_window.h"
#include "viewer/progress_dlg.h"
#include "viewer/video_view.h"
#include "widgets/bitmap_slider.h"
#include "widgets/seek_marks.h"
#include "widgets/string_table.h"
#include "widgets/window_palette.h"

namespace locket {

namespace {

// As short as the gap after the time allows: "¼×", "½×", "2×", "4×".
QString SpeedText(int percent) {
    switch (percent) {
        case 25:
            return QStringLiteral("¼×");
        case 50:
            return QStringLiteral("½×");
        default:
            return QStringLiteral("%1×").arg(percent / 100);
    }
}

}  // namespace

CEvidenceControls::CEvidenceControls(CRavuraVezedaDlg* dlg) : QObject(dlg), m_dlg(dlg) {
    m_marks = new CSeekMarks(dlg->m_seekSlider);
    // Presses near a tick are taken before the bar sees them.
    dlg->m_seekSlider->installEventFilter(this);

    auto* time = dlg->ControlAs<QLabel>(ctl::kTotalTime);
    m_speedLabel = new QLabel(dlg);
    m_speedLabel->setFont(time->font());
    m_speedLabel->setPalette(time->palette());
    m_speedLabel->hide();
    time->installEventFilter(this);

    dlg->m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dlg->m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidget* list = m_dlg->m_list;
        QTreeWidgetItem* item = list->itemAt(at);
        if (!item)
            return;
        ShowMenu(m_dlg->RowName(list->indexOfTopLevelItem(item)),
                 list->viewport()->mapToGlobal(at));
    });
    for (QWidget* view :
         {static_cast<QWidget*>(dlg->FrontView()), static_cast<QWidget*>(dlg->RearView())}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            if (!m_dlg->m_openName.isEmpty())
                ShowMenu(m_dlg->m_openName, view->mapToGlobal(at));
        });
    }
}

CEvidenceControls::~CEvidenceControls() {
    JoinKnockReader();
}

void CEvidenceControls::JoinKnockReader() {
    if (m_knockReader.joinable())
        m_knockReader.join();
}

std::string CEvidenceControls::CardFolder() const {
    std::vector<char> root(1 << 16, '\0');
    if (TatCardRoot(m_dlg->m_tatHandle, m_dlg->m_cardDrive, root.data(),
                    static_cast<int32_t>(root.size())) <= 0)
        return {};
    return root.data();
}

void CEvidenceControls::OnRecordingOpened(const QString& name) {
    ClearMarks();
    m_knocks.clear();
    m_marks->SetKnocks(m_knocks);
    JoinKnockReader();
    const unsigned serial = ++m_knockSerial;
    CClipConverter finder;
    const std::string path =
        finder.UseCard(CardFolder()) ? finder.FindRecording(name.toStdString()) : std::string();
    if (path.empty())
        return;
    // The whole recording is read for its sensor records; the window goes on meanwhile.
    m_knockReader = std::thread([this, serial, path] {
        CSensorLog log;
        ReadSensorLog(path, &log);
        std::vector<uint32_t> knocks = FindKnocks(log.GSensor());
        QMetaObject::invokeMethod(
            this,
            [this, serial, knocks = std::move(knocks)] {
                if (serial != m_knockSerial)
                    return;
                m_knocks = knocks;
                m_marks->SetKnocks(m_knocks);
                emit KnocksFound(static_cast<int>(m_knocks.size()));
            },
            Qt::QueuedConnection);
    });
}

bool CEvidenceControls::HandleKey(int key, Qt::KeyboardModifiers modifiers) {
    switch (key) {
        case Qt::Key_K:
            JumpToKnock(!(modifiers & Qt::ShiftModifier));
            return true;
        case Qt::Key_Period:
        case Qt::Key_Greater:
            Step(1);
            return true;
        case Qt::Key_Comma:
        case Qt::Key_Less:
            Step(-1);
            return true;
        case Qt::Key_BracketLeft:
            ChangeSpeed(-1);
            return true;
        case Qt::Key_BracketRight:
            ChangeSpeed(1);
            return true;
        case Qt::Key_I:
            SetMark(true);
            return true;
        case Qt::Key_O:
            SetMark(false);
            return true;
        case Qt::Key_Escape:
            if (m_in < 0 && m_out < 0)
                return false;
            ClearMarks();
            return true;
        default:
            return false;
    }
}

void CEvidenceControls::JumpToKnock(bool next) {
    if (m_knocks.empty() || m_dlg->m_openName.isEmpty())
        return;
    const int64_t now = m_dlg->m_player.GetCurTime();
    // A jump lands before its knock: the next one is the first whose landing lies ahead, the
    // previous one the last whose landing lies a second behind, so that pressing again while
    // playing moves on.
    int64_t target = -1;
    for (uint32_t knock : m_knocks) {
        const int64_t landing = std::max<int64_t>(0, int64_t{knock} - kKnockLeadMs);
        if (next && landing > now + 250) {
            target = landing;
            break;
        }
        if (!next && landing < now - 1000)
            target = landing;
    }
    if (target >= 0)
        SeekToMs(target);
}

void CEvidenceControls::SeekToMs(int64_t ms) {
    CTRSMediaPlayer& player = m_dlg->m_player;
    player.SeekTo(static_cast<int>(ms));
    const int64_t sec = ms / 1000;
    m_dlg->m_seekSlider->SetPos(static_cast<int>(sec));
    m_dlg->UpdateTimeLabels(sec, m_dlg->m_totalSeconds);
}

void CEvidenceControls::Step(int delta) {
    CTRSMediaPlayer& player = m_dlg->m_player;
    if (m_dlg->m_openName.isEmpty() || player.GetState() != CTRSMediaPlayer::kPaused ||
        !player.StepFrames(delta))
        return;
    const int64_t sec = player.GetCurTime() / 1000;
    m_dlg->m_seekSlider->SetPos(static_cast<int>(sec));
    m_dlg->UpdateTimeLabels(sec, m_dlg->m_totalSeconds);
    m_dlg->RefreshSensors(sec);
}

void CEvidenceControls::ChangeSpeed(int direction) {
    CTRSMediaPlayer& player = m_dlg->m_player;
    const auto& speeds = CTRSMediaPlayer::kSpeeds;
    const auto at = std::find(std::begin(speeds), std::end(speeds), player.GetSpeed());
    const int index = static_cast<int>(std::distance(std::begin(speeds), at)) + direction;
    if (index < 0 || index >= static_cast<int>(std::size(speeds)))
        return;
    player.SetSpeed(speeds[index]);
    // The time's colour, which the window gives its labels once they show a text.
    m_speedLabel->setPalette(m_dlg->Control(ctl::kTotalTime)->palette());
    m_speedLabel->setText(SpeedText(speeds[index]));
    PlaceSpeedLabel();
    // At normal speed the window looks as it always did.
    m_speedLabel->setVisible(speeds[index] != 100);
}

void CEvidenceControls::PlaceSpeedLabel() {
    // After the total time: the current time has the seek bar right beside it.
    const QRect r = m_dlg->Control(ctl::kTotalTime)->geometry();
    int width = 0;
    for (int speed : CTRSMediaPlayer::kSpeeds)
        width = std::max(width, m_speedLabel->fontMetrics().horizontalAdvance(SpeedText(speed)));
    width += 2;
    m_speedLabel->setGeometry(r.right() + 3, r.y(), width, r.height());
    m_speedLabel->raise();
}

void CEvidenceControls::SetMark(bool in) {
    if (m_dlg->m_openName.isEmpty())
        return;
    // A clip holds the picture shown at either mark: it starts when that picture was taken
    // and ends when its period ends.
    const CTRSMediaPlayer& player = m_dlg->m_player;
    if (in) {
        m_in = player.GetShownTime();
        if (m_out >= 0 && m_out <= m_in)
            m_out = -1;
    } else {
        m_out = player.GetCurTime();
        if (m_in >= 0 && m_in >= m_out)
            m_in = -1;
    }
    m_marks->SetBand(m_in, m_out);
}

void CEvidenceControls::ClearMarks() {
    m_in = m_out = -1;
    m_marks->SetBand(-1, -1);
}

void CEvidenceControls::ShowMenu(const QString& name, const QPoint& global) {
    if (m_dlg->m_exportRunning.load() || name.isEmpty())
        return;
    delete m_menu;
    m_menu = new QMenu(m_dlg);
    m_menu->setAttribute(Qt::WA_DeleteOnClose);
    m_menu->setPalette(WindowPalette());
    const int lang = m_dlg->m_langId;
    const struct {
        int text;
        ExportKind kind;
    } entries[] = {{string_id::kExportClipMp4, kExportMp4},
                   {string_id::kExportClipGpx, kExportGpx},
                   {string_id::kExportClipCsv, kExportCsv}};
    for (const auto& e : entries) {
        QAction* action = m_menu->addAction(LoadPairString(e.text, lang));
        action->setData(static_cast<int>(e.kind));
        connect(action, &QAction::triggered, this,
                [this, name, kind = e.kind] { ExportClip(name, kind); });
    }
    m_menu->popup(global);
}

void CEvidenceControls::ExportClip(const QString& name, ExportKind kind) {
    if (m_dlg->m_exportRunning.load())
        return;
    m_dlg->WaitExportIdle();
    const QString folder = m_dlg->AskFolder(LoadString(string_id::kTargetFolderTitle));
    if (folder.isEmpty())
        return;
    m_dlg->OnPause();
    CExportWorker::Batch batch;
    batch.cardFolder = CardFolder();
    batch.targetFolder = folder.toStdString();
    batch.names.push_back(name.toStdString());
    batch.serial = ++m_dlg->m_exportSerial;
    batch.clip = true;
    CClipConverter::Options& o = batch.clipOptions;
    o.mp4 = kind == kExportMp4;
    o.gpx = kind == kExportGpx;
    o.csv = kind == kExportCsv;
    if (name == m_dlg->m_openName) {
        o.fromMs = static_cast<uint32_t>(std::max<int64_t>(m_in, 0));
        if (m_out >= 0)
            o.toMs = static_cast<uint32_t>(m_out);
    }
    CProgressDlg* progress = m_dlg->m_progressDlg;
    progress->m_running.store(true);
    progress->TotalProgress()->setRange(0, 1);
    progress->TotalProgress()->setValue(0);
    progress->FileProgress()->setValue(0);
    m_dlg->m_exportWorker->Submit(batch);
    m_dlg->m_exportRunning.store(1);
}

bool CEvidenceControls::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dlg->m_seekSlider && event->type() == QEvent::MouseButtonPress &&
        !m_dlg->m_exportRunning.load()) {
        auto* press = static_cast<QMouseEvent*>(event);
        const QPoint at = press->position().toPoint();
        const int knock = m_marks->KnockNear(m_dlg->m_seekSlider->IsVertical() ? at.y() : at.x());
        if (press->button() == Qt::LeftButton && knock >= 0) {
            SeekToMs(std::max<int64_t>(0, int64_t{m_knocks[knock]} - kKnockLeadMs));
            return true;
        }
    }
    if (watched == m_dlg->Control(ctl::kTotalTime) &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
         event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        PlaceSpeedLabel();
        m_speedLabel->setVisible(m_dlg->Control(ctl::kTotalTime)->isVisible() &&
                                 m_dlg->m_player.GetSpeed() != 100);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace locket
