#include "viewer/zoom_dlg.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include "widgets/string_table.h"

namespace locket {

namespace {

const QColor kOwnPlace(0x96, 0x96, 0x96);

}  // namespace

CZoomDlg::CZoomDlg(int langId, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(LoadPairString(string_id::kZoomCaption, langId));
    QFont font(QStringLiteral("NanumGothicCoding"));
    font.setPointSize(10);
    setFont(font);
    // 184 x 158 dialog units; the owner places and sizes the window at once.
    resize(276, 257);
    m_unavailableText = LoadPairString(string_id::kZoomUnavailable, langId);
    m_timer.setInterval(kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Magnify(); });
    m_timer.start();
    std::printf("OnInitDialog()\n");
}

QPoint CZoomDlg::SourceOrigin(QPoint cursor, QSize screen, QSize source) {
    int x = std::max(0, cursor.x() - source.width() / 2);
    int y = std::max(0, cursor.y() - source.height() / 2);
    if (x + source.width() > screen.width())
        x = screen.width() - source.width();
    if (y + source.height() > screen.height())
        y = screen.height() - source.height();
    return {x, y};
}

bool CZoomDlg::Magnify() {
    const QPoint cursor = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QSize sourceSize(width() / kMagnifyFactor, height() / kMagnifyFactor);
    if (!screen || sourceSize.isEmpty()) {
        m_source = QPixmap();
        update();
        return screen != nullptr;
    }
    const QRect area = screen->geometry();
    const QPoint origin = SourceOrigin(cursor - area.topLeft(), area.size(), sourceSize);
    // Only the source rectangle is read, not the whole screen.
    QPixmap grab =
        screen->grabWindow(0, origin.x(), origin.y(), sourceSize.width(), sourceSize.height());
    m_unavailable = grab.isNull();
    if (!m_unavailable) {
        const QRect own(mapToGlobal(QPoint(0, 0)) - area.topLeft() - origin, size());
        QPainter painter(&grab);
        painter.fillRect(own.intersected(QRect(QPoint(0, 0), sourceSize)), kOwnPlace);
        m_source = grab;
    } else {
        m_source = QPixmap();
    }
    update();
    return !m_unavailable;
}

void CZoomDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_unavailable) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_unavailableText);
        return;
    }
    if (!m_source.isNull())
        painter.drawPixmap(
            QRect(0, 0, m_source.width() * kMagnifyFactor, m_source.height() * kMagnifyFactor),
            m_source);
}

void CZoomDlg::closeEvent(QCloseEvent* event) {
    m_timer.stop();
    std::printf("OnDestroy()\r\n");
    QDialog::closeEvent(event);
}

void CZoomDlg::reject() {
    std::printf("VK_ESCAPE\n");
    m_timer.stop();
    QDialog::reject();
}

}  // namespace locket
