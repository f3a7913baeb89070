#include "widgets/seek_marks.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "widgets/bitmap_slider.h"

namespace locket {

CSeekMarks::CSeekMarks(CBitmapSlider* bar) : QWidget(bar), m_bar(bar) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(bar->rect());
    bar->installEventFilter(this);
    show();
}

void CSeekMarks::SetKnocks(const std::vector<uint32_t>& knocksMs) {
    m_knocks = knocksMs;
    update();
}

void CSeekMarks::SetBand(int64_t fromMs, int64_t toMs) {
    m_bandFrom = fromMs;
    m_bandTo = toMs;
    update();
}

double CSeekMarks::PixelOf(int64_t ms) const {
    const int lo = m_bar->GetRangeMin();
    const int hi = m_bar->GetRangeMax();
    const double seconds = std::clamp(ms / 1000.0, double(lo), double(hi));
    const int whole = static_cast<int>(std::floor(seconds));
    const double a = m_bar->PixelFromPos(whole);
    if (whole >= hi)
        return a;
    return a + (seconds - whole) * (m_bar->PixelFromPos(whole + 1) - a);
}

int CSeekMarks::KnockNear(int x) const {
    int best = -1;
    double bestDistance = kTickReach + 0.5;
    for (size_t i = 0; i < m_knocks.size(); ++i) {
        const double d = std::fabs(PixelOf(m_knocks[i]) - x);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

void CSeekMarks::paintEvent(QPaintEvent*) {
    if (m_knocks.empty() && m_bandFrom < 0 && m_bandTo < 0)
        return;
    QPainter p(this);
    const bool vertical = m_bar->IsVertical();
    const int across = vertical ? width() : height();
    if (m_bandFrom >= 0 || m_bandTo >= 0) {
        const double a = PixelOf(m_bandFrom >= 0 ? m_bandFrom : 0);
        const double b =
            m_bandTo >= 0 ? PixelOf(m_bandTo) : PixelOf(int64_t{m_bar->GetRangeMax()} * 1000);
        const QRectF band = vertical ? QRectF(0, a, across, std::max(b - a, 2.0))
                                     : QRectF(a, 0, std::max(b - a, 2.0), across);
        p.fillRect(band, QColor::fromRgba(kBandColour));
    }
    p.setPen(Qt::NoPen);
    for (uint32_t knock : m_knocks) {
        const double at = PixelOf(knock);
        const QRectF tick = vertical ? QRectF(0, at - 1, across, 2) : QRectF(at - 1, 0, 2, across);
        p.fillRect(tick, QColor::fromRgba(kKnockColour));
    }
}

bool CSeekMarks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_bar && event->type() == QEvent::Resize)
        setGeometry(m_bar->rect());
    return QWidget::eventFilter(watched, event);
}

}  // namespace locket
