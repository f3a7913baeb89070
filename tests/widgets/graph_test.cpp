#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "widgets/graph_static.h"

using namespace locket;

namespace {

// Colours are given as 0x00BBGGRR, as the recorder software gives them.
constexpr uint32_t kBlueRef = 0xFF0000;
constexpr uint32_t kYellowRef = 0x00FFFF;
constexpr uint32_t kRedRef = 0x0000FF;
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGrid = qRgb(0x29, 0x29, 0x29);
constexpr QRgb kBackground = qRgb(1, 0, 0);

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

// Pixels of one colour in the rectangle x0..x1, y0..y1 (edges included).
int Count(const QImage& image, QRgb colour, int x0, int x1, int y0, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            n += At(image, x, y) == colour;
    return n;
}

}  // namespace

TEST(GraphStatic, ValuesScaleToHeightClampToPlotStayPerControlAndFollowResizes) {
    CGraphStatic graph;
    graph.show();
    graph.resize(200, 100);
    QApplication::processEvents();
    graph.SetRange(200, 50);
    CGraphSeries* s = graph.AddSeries(kRedRef, 1);
    for (int v : {150, 500, -10, 190})
        graph.AddValue(s, v);
    // At most the plot height, the widget's height minus 4; at least the baseline.
    EXPECT_EQ((std::vector<int>{75, 96, 0, 95}),
              (std::vector<int>{s->Value(0), s->Value(1), s->Value(2), s->Value(3)}));

    // Handles of another control (or none) are ignored.
    CGraphStatic other;
    other.resize(200, 100);
    CGraphSeries* foreign = other.AddSeries(kRedRef, 1);
    other.AddValue(foreign, 40);
    graph.ClearSeries(foreign);
    graph.AddValue(foreign, 80);
    graph.AddValue(nullptr, 1);
    EXPECT_EQ(1, foreign->WriteIndex());
    EXPECT_EQ(40, foreign->Value(0));

    graph.ClearSeries(s);
    EXPECT_EQ(0, s->Value(1));

    // A resize redraws without a further change; stored heights stay, new values scale to the
    // new height.
    graph.SetRange(100, 25);
    graph.AddValue(s, 50);
    graph.resize(320, 200);
    QApplication::processEvents();
    EXPECT_EQ(kGrid, At(graph.Picture(), 318, 150));
    EXPECT_EQ(kRed, At(graph.Picture(), 4, 198 - 50));
    graph.AddValue(s, 50);
    EXPECT_EQ(100, s->Value(1));
    // A hidden widget gets its resize event only when shown; the next change follows anyway.
    CGraphStatic hidden;
    hidden.resize(120, 60);
    hidden.SetGridVisible(true);
    EXPECT_EQ(QSize(120, 60), hidden.Picture().size());

    // Without a scale the value sits on the baseline instead of dividing by zero; sizes
    // without a picture do not fail.
    graph.SetRange(0, 10);
    graph.AddValue(s, 50);
    EXPECT_EQ(0, s->Value(2));
    graph.resize(0, 0);
    graph.AddValue(s, 5);
    EXPECT_TRUE(graph.Picture().isNull());
    graph.resize(3, 3);
    graph.SetXStep(-7);
    graph.AddValue(s, 5);
    EXPECT_EQ(0, s->Value(4));
}

TEST(GraphStatic, TraceRunsFromNewestAtLeftEdgeOverTheGridAndWraps) {
    CGraphStatic graph;
    graph.resize(300, 100);
    graph.SetRange(100, 25);  // one unit per pixel, 4 rows 24 pixels apart
    graph.SetXStep(20);
    CGraphSeries* s = graph.AddSeries(kBlueRef, 1);
    for (int v : {10, 20, 30})
        graph.AddValue(s, v);

    const QImage& p = graph.Picture();
    const int left = graph.PlotLeft(), top = graph.PlotTop();
    const int right = graph.PlotRight(), bottom = graph.PlotBottom();
    EXPECT_EQ(QRect(QPoint(4, 2), QPoint(298, 98)),
              QRect(QPoint(left, top), QPoint(right, bottom)));

    // Newest at the left edge, each older value 20 pixels on, joined by a line.
    for (auto [x, y] : {std::pair{0, 30}, {10, 25}, {20, 20}, {40, 10}})
        EXPECT_EQ(kBlue, At(p, left + x, bottom - y)) << x;
    EXPECT_EQ(kBackground, At(p, left + 10, bottom - 30));
    EXPECT_EQ(0, Count(p, kBlue, left + 41, 299, 0, 99)) << "nothing past the oldest";

    // Both plot sides; rows above the bottom but none on the bottom and top edges.
    EXPECT_EQ(kGrid, At(p, left, top));
    EXPECT_EQ(kGrid, At(p, right, bottom - 1));
    EXPECT_EQ(kBackground, At(p, right + 1, 50));
    for (int y : {50, 26})
        EXPECT_EQ(right - left + 1, Count(p, kGrid, left, right, y, y)) << y;
    EXPECT_EQ(right - left - 40, Count(p, kGrid, left + 41, right, 74, 74));
    for (int y : {0, 1, top, 73, 75, bottom, 99})
        EXPECT_EQ(0, Count(p, kGrid, left + 1, right - 1, y, y)) << y;
    // No rows when the range holds no whole row, without units per row, or with more rows than
    // pixels; the sides stay.
    for (auto [range, units] : {std::pair{10, 50}, {100, 0}, {1000, 1}}) {
        graph.SetRange(range, units);
        EXPECT_EQ(0, Count(p, kGrid, left + 1, right - 1, 0, 99)) << range;
        EXPECT_EQ(kGrid, At(p, left, top + 10)) << range;
    }

    // The widget paints the picture.
    const QImage shot = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(kBlue, At(shot, left + 20, bottom - 20));

    graph.SetGridVisible(false);
    EXPECT_EQ(0, Count(graph.Picture(), kGrid, 0, 299, 0, 99));
    graph.SetSeriesVisible(s, false);
    EXPECT_EQ(0, Count(graph.Picture(), kBlue, 0, 299, 0, 99));

    // After the write index wrapped only element 0 is left to show.
    graph.SetRange(100, 25);
    graph.SetXStep(5);
    CGraphSeries* wrapped = graph.AddSeries(kYellowRef, 1);
    for (int i = 0; i < CGraphSeries::kValues; ++i)
        graph.AddValue(wrapped, 10 + i % 50);
    auto traced = [&] { return Count(graph.Picture(), kYellow, 0, 299, 0, 99); };
    EXPECT_EQ(kYellow, At(graph.Picture(), left, bottom - 10));
    EXPECT_EQ(1, traced()) << "a single point";
    graph.AddValue(wrapped, 60);  // overwrites element 0
    EXPECT_EQ(kYellow, At(graph.Picture(), left, bottom - 60));
    EXPECT_EQ(1, traced());
    graph.AddValue(wrapped, 70);
    EXPECT_EQ(kYellow, At(graph.Picture(), left + 5, bottom - 60));
    EXPECT_EQ(11, traced()) << "two points, ten pixels up and five across";
}
