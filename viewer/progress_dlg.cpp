#include "viewer/progress_dlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cmath>

#include "widgets/string_table.h"
#include "widgets/window_palette.h"

namespace locket {

namespace {

// Dialog units of the template to pixels (MS Shell Dlg 8 pt at 96 DPI).
QRect Units(int x, int y, int w, int h) {
    const auto px = [](double v) { return static_cast<int>(std::lround(v * 1.5)); };
    const auto py = [](double v) { return static_cast<int>(std::lround(v * 1.625)); };
    return QRect(px(x), py(y), px(w), py(h));
}

}  // namespace

CProgressDlg::CProgressDlg(int langId, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(LoadPairString(string_id::kProgressCaption, langId));
    setModal(false);
    setPalette(WindowPalette());
    QFont font(QStringLiteral("NanumGothicCoding"));
    font.setPointSize(9);
    setFont(font);
    setFixedSize(Units(0, 0, 317, 73).size());

    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("ctl%1").arg(kNameId));
    m_name->setGeometry(Units(5, 5, 310, 8));
    m_fileProgress = new QProgressBar(this);
    m_fileProgress->setObjectName(QStringLiteral("ctl%1").arg(kFileProgressId));
    m_fileProgress->setGeometry(Units(5, 15, 310, 14));
    m_totalProgress = new QProgressBar(this);
    m_totalProgress->setObjectName(QStringLiteral("ctl%1").arg(kTotalProgressId));
    m_totalProgress->setGeometry(Units(5, 35, 310, 14));
    for (QProgressBar* bar : {m_fileProgress, m_totalProgress}) {
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
    }
    m_cancel = new QPushButton(LoadPairString(string_id::kProgressCancel, langId), this);
    m_cancel->setObjectName(QStringLiteral("ctl%1").arg(kCancelId));
    m_cancel->setGeometry(Units(265, 55, 50, 14));
    connect(m_cancel, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
    hide();
}

void CProgressDlg::SetName(const QString& name) {
    m_name->setText(name);
}

QString CProgressDlg::Name() const {
    return m_name->text();
}

void CProgressDlg::CenterOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void CProgressDlg::OnCancel() {
    m_running.store(false);
}

void CProgressDlg::closeEvent(QCloseEvent* event) {
    // No close box: only Cancel and the end of the batch take the window away.
    event->ignore();
}

void CProgressDlg::reject() {}

}  // namespace locket
