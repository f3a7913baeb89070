// A strip chart: line series kept in memory and drawn into an off-screen picture, the newest
// value at the left edge and older values to the right (the G-sensor trace of the main window).
#pragma once

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QPen>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace locket {

// One line of the chart. The chart owns it; callers keep the pointer as a handle.
class CGraphSeries {
public:
    static constexpr int kValues = 1024;

    QColor Colour() const { return m_colour; }
    bool Visible() const { return m_visible; }
    // Pixel height above the plot's bottom edge.
    int Value(int index) const { return m_values[static_cast<size_t>(index)]; }
    // The slot the next value goes to.
    int WriteIndex() const { return m_writeIndex; }

private:
    friend class CGraphStatic;
    CGraphSeries(QColor colour, int penWidth);

    QColor m_colour;
    bool m_visible = true;
    QPen m_pen;
    QBrush m_brush;
    std::array<int, kValues> m_values{};
    int m_writeIndex = 0;
};

class CGraphStatic : public QWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kBackgroundRef = 0x000001;
    static constexpr uint32_t kGridRef = 0x292929;
    static constexpr int kDefaultDivisions = 10;

    explicit CGraphStatic(QWidget* parent = nullptr);
    ~CGraphStatic() override;

    // Colours as 0x00BBGGRR, the recorder software's convention.
    static QColor ColorFromRef(uint32_t colorRef);

    CGraphSeries* AddSeries(uint32_t colorRef, int penWidth);
    // Zeroes the values of one of this chart's series; no redraw (values usually follow).
    void ClearSeries(CGraphSeries* series);
    // Stores `value` scaled so that the range fills the widget's height, then redraws.
    void AddValue(CGraphSeries* series, int value);
    void SetSeriesVisible(CGraphSeries* series, bool visible);
    void SetGridVisible(bool visible);
    // `range` maps to the full height; the grid gets range / unitsPerRow rows.
    void SetRange(int range, int unitsPerRow);
    // Pixels between consecutive values.
    void SetXStep(int pixels);

    // The off-screen picture, the size of the widget.
    const QImage& Picture() const { return m_picture; }
    int GridRows() const { return m_gridRows; }
    // Edges of the plot area; right and bottom as the line positions, inside the picture.
    int PlotLeft() const { return m_plotLeft; }
    int PlotTop() const { return m_plotTop; }
    int PlotRight() const { return m_plotRight; }
    int PlotBottom() const { return m_plotBottom; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Owns(const CGraphSeries* series) const;
    // Follows the widget's size: plot area and picture.
    void UpdateGeometry();
    void Redraw();
    void DrawGrid(QPainter& painter);
    void DrawSeries(QPainter& painter, const CGraphSeries& series);

    QImage m_picture;
    QColor m_background;
    QColor m_gridColour;
    bool m_gridVisible = true;
    int m_range = 100;
    int m_unitsPerRow = kDefaultDivisions;
    int m_gridRows = 100 / kDefaultDivisions;
    int m_xStep = kDefaultDivisions;
    int m_width = 0;
    int m_height = 0;
    int m_plotLeft = 0;
    int m_plotTop = 0;
    int m_plotRight = 0;
    int m_plotBottom = 0;
    std::vector<std::unique_ptr<CGraphSeries>> m_series;
};

}  // namespace locket
