#include "widgets/graph_static.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace locket {

namespace {

// Far enough outside any picture that clipping hides it, small enough for QPoint.
constexpr int64_t kFarAway = 1 << 20;

int ClampCoordinate(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -kFarAway, kFarAway));
}

}  // namespace

CGraphSeries::CGraphSeries(QColor colour, int penWidth)
    : m_colour(colour),
      m_pen(colour, std::max(penWidth, 1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin),
      m_brush(colour) {}

CGraphStatic::CGraphStatic(QWidget* parent)
    : QWidget(parent),
      m_background(ColorFromRef(kBackgroundRef)),
      m_gridColour(ColorFromRef(kGridRef)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateGeometry();
    Redraw();
}

CGraphStatic::~CGraphStatic() = default;

QColor CGraphStatic::ColorFromRef(uint32_t colorRef) {
    return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

CGraphSeries* CGraphStatic::AddSeries(uint32_t colorRef, int penWidth) {
    m_series.push_back(
        std::unique_ptr<CGraphSeries>(new CGraphSeries(ColorFromRef(colorRef), penWidth)));
    return m_series.back().get();
}

bool CGraphStatic::Owns(const CGraphSeries* series) const {
    return series != nullptr &&
           std::any_of(m_series.begin(), m_series.end(),
                       [series](const auto& owned) { return owned.get() == series; });
}

void CGraphStatic::ClearSeries(CGraphSeries* series) {
    if (!Owns(series))
        return;
    series->m_writeIndex = 0;
    series->m_values.fill(0);
}

void CGraphStatic::AddValue(CGraphSeries* series, int value) {
    if (!Owns(series))
        return;
    UpdateGeometry();
    // A range of zero or less has no scale: such values sit on the baseline.
    const int64_t scaled = m_range > 0 ? int64_t{m_height} * value / m_range : 0;
    const int64_t top = std::max(m_plotBottom - m_plotTop, 0);
    series->m_values[static_cast<size_t>(series->m_writeIndex)] =
        static_cast<int>(std::clamp<int64_t>(scaled, 0, top));
    series->m_writeIndex = (series->m_writeIndex + 1) % CGraphSeries::kValues;
    Redraw();
}

void CGraphStatic::SetSeriesVisible(CGraphSeries* series, bool visible) {
    if (!Owns(series))
        return;
    series->m_visible = visible;
    Redraw();
}

void CGraphStatic::SetGridVisible(bool visible) {
    m_gridVisible = visible;
    Redraw();
}

void CGraphStatic::SetRange(int range, int unitsPerRow) {
    m_range = range;
    m_unitsPerRow = unitsPerRow;
    // Units per row of zero or less give no rows rather than a division by zero.
    m_gridRows = unitsPerRow > 0 ? range / unitsPerRow : 0;
    Redraw();
}

void CGraphStatic::SetXStep(int pixels) {
    m_xStep = pixels;
    Redraw();
}

void CGraphStatic::UpdateGeometry() {
    if (m_width == width() && m_height == height() && !m_picture.isNull())
        return;
    m_width = width();
    m_height = height();
    m_plotLeft = 4;
    m_plotTop = 2;
    m_plotRight = m_width - 2;
    m_plotBottom = m_height - 2;
    if (m_width > 0 && m_height > 0)
        m_picture = QImage(m_width, m_height, QImage::Format_RGB32);
    else
        m_picture = QImage();
}

void CGraphStatic::Redraw() {
    UpdateGeometry();
    if (m_picture.isNull())
        return;
    m_picture.fill(m_background);
    QPainter painter(&m_picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (m_gridVisible)
        DrawGrid(painter);
    for (const auto& series : m_series) {
        if (series->m_visible)
            DrawSeries(painter, *series);
    }
    painter.end();
    update();
}

void CGraphStatic::DrawGrid(QPainter& painter) {
    painter.setPen(QPen(m_gridColour, 1));
    // Lines stop one pixel short of their end point, as the recorder software draws them.
    painter.drawLine(m_plotLeft, m_plotTop, m_plotLeft, m_plotBottom - 1);
    painter.drawLine(m_plotRight, m_plotTop, m_plotRight, m_plotBottom - 1);
    if (m_gridRows <= 0)
        return;
    // A plot lower than its row count would give a spacing of zero.
    const int spacing = (m_plotBottom - m_plotTop) / m_gridRows;
    if (spacing <= 0)
        return;
    for (int y = m_plotBottom - spacing; y > m_plotTop; y -= spacing)
        painter.drawLine(m_plotLeft, y, m_plotRight - 1, y);
}

void CGraphStatic::DrawSeries(QPainter& painter, const CGraphSeries& series) {
    painter.setPen(series.m_pen);
    painter.setBrush(series.m_brush);
    // Newest first; after a wrap of the write index only element 0 is left to show.
    const int newest = series.m_writeIndex == 0 ? 0 : series.m_writeIndex - 1;
    const int reach = series.m_pen.width() + 1;
    QPoint previous;
    for (int k = 0, i = newest; i >= 0; ++k, --i) {
        const int64_t x = int64_t{m_plotLeft} + int64_t{k} * m_xStep;
        const QPoint point(ClampCoordinate(x),
                           m_plotBottom - series.m_values[static_cast<size_t>(i)]);
        if (k == 0)
            painter.drawPoint(point);
        else
            painter.drawLine(previous, point);
        previous = point;
        // Every further point lies further out, where the picture clips it anyway.
        if (x > m_width + reach || x < -reach)
            break;
    }
}

void CGraphStatic::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_picture.isNull())
        return;
    painter.drawImage(event->rect(), m_picture, event->rect());
}

void CGraphStatic::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Redraw();
}

}  // namespace locket
