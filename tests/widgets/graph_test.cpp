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

TEST(GraphStatic, ValuesScaleToHeightClampToPlotAndStayPerControl) {
    CGraphStatic graph;
    graph.resize(200, 100);
    graph.SetRange(200, 50);
    EXPECT_EQ(4, graph.GridRows());
    CGraphSeries* s = graph.AddSeries(kBlueRef, 1);
    for (int v : {150, 500, -10, 190})
        graph.AddValue(s, v);
    // At most the plot height, the widget's height minus 4; at least the baseline.
    EXPECT_EQ((std::vector<int>{75, 96, 0, 95}),
              (std::vector<int>{s->Value(0), s->Value(1), s->Value(2), s->Value(3)}));
    EXPECT_EQ(4, s->WriteIndex());

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
    EXPECT_EQ(0, s->WriteIndex());
    EXPECT_EQ(0, s->Value(1));
}

TEST(GraphStatic, TraceRunsFromNewestAtLeftEdgeOverTheGrid) {
    CGraphStatic graph;
    graph.resize(300, 100);
    graph.SetRange(100, 25);  // one unit per pixel, 4 rows 24 pixels apart
    graph.SetXStep(20);
    CGraphSeries* s = graph.AddSeries(kBlueRef, 1);
    for (int v : {10, 20, 30})
        graph.AddValue(s, v);

    const QImage& p = graph.Picture();
    ASSERT_EQ(QSize(300, 100), p.size());
    const int left = graph.PlotLeft(), top = graph.PlotTop();
    const int right = graph.PlotRight(), bottom = graph.PlotBottom();
    EXPECT_EQ(QRect(QPoint(4, 2), QPoint(298, 98)),
              QRect(QPoint(left, top), QPoint(right, bottom)));

    EXPECT_EQ(kBlue, At(p, left, bottom - 30));
    EXPECT_EQ(kBlue, At(p, left + 10, bottom - 25)) << "joined by a line";
    EXPECT_EQ(kBlue, At(p, left + 20, bottom - 20));
    EXPECT_EQ(kBlue, At(p, left + 40, bottom - 10));
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

    // The widget paints the picture.
    const QImage shot = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(kBlue, At(shot, left + 20, bottom - 20));
    EXPECT_EQ(kGrid, At(shot, left, top));

    graph.SetGridVisible(false);
    EXPECT_EQ(0, Count(graph.Picture(), kGrid, 0, 299, 0, 99));
    EXPECT_EQ(kBlue, At(graph.Picture(), left + 20, bottom - 20));
    graph.SetSeriesVisible(s, false);
    EXPECT_EQ(0, Count(graph.Picture(), kBlue, 0, 299, 0, 99));
}

TEST(GraphStatic, WriteIndexWrapsAfter1024AndOnlyElementZeroIsShown) {
    CGraphStatic graph;
    graph.resize(400, 100);
    graph.SetRange(100, 25);
    graph.SetGridVisible(false);
    graph.SetXStep(5);
    CGraphSeries* s = graph.AddSeries(kYellowRef, 1);
    for (int i = 0; i < CGraphSeries::kValues; ++i)
        graph.AddValue(s, 10 + i % 50);
    EXPECT_EQ(0, s->WriteIndex());
    EXPECT_EQ(10 + 1023 % 50, s->Value(1023));

    const int left = graph.PlotLeft(), bottom = graph.PlotBottom();
    auto traced = [&] { return Count(graph.Picture(), kYellow, 0, 399, 0, 99); };
    EXPECT_EQ(kYellow, At(graph.Picture(), left, bottom - 10));
    EXPECT_EQ(1, traced()) << "a single point";

    graph.AddValue(s, 60);  // overwrites element 0
    EXPECT_EQ(kYellow, At(graph.Picture(), left, bottom - 60));
    EXPECT_EQ(1, traced());
    graph.AddValue(s, 70);
    EXPECT_EQ(kYellow, At(graph.Picture(), left + 5, bottom - 60));
    EXPECT_EQ(11, traced()) << "two points, ten pixels up and five across";
}

TEST(GraphStatic, ZeroRowsOrScaleAndDegenerateSizesDrawNoRowsAndDoNotFail) {
    CGraphStatic graph;
    graph.resize(100, 50);
    auto rowPixels = [&] {
        return Count(graph.Picture(), kGrid, graph.PlotLeft() + 1, graph.PlotRight() - 1, 0, 49);
    };
    graph.SetRange(200, 50);
    EXPECT_GT(rowPixels(), 0);
    graph.SetRange(10, 50);
    EXPECT_EQ(0, graph.GridRows());
    EXPECT_EQ(0, rowPixels());
    EXPECT_EQ(kGrid, At(graph.Picture(), graph.PlotLeft(), 20)) << "the sides stay";
    graph.SetRange(100, 0);
    EXPECT_EQ(0, rowPixels());
    graph.SetRange(1000, 1);  // 1000 rows in 46 pixels
    EXPECT_EQ(0, rowPixels());

    // Without a scale the value sits on the baseline instead of dividing by zero.
    CGraphSeries* s = graph.AddSeries(kRedRef, 3);
    graph.SetRange(0, 10);
    graph.AddValue(s, 50);
    EXPECT_EQ(0, s->Value(0));
    graph.resize(0, 0);
    graph.AddValue(s, 5);
    EXPECT_TRUE(graph.Picture().isNull());
    graph.resize(3, 3);
    graph.SetXStep(-7);
    graph.AddValue(s, 5);
    EXPECT_EQ(0, s->Value(2));
}

TEST(GraphStatic, ResizeRebuildsThePictureAndScale) {
    CGraphStatic graph;
    graph.show();
    graph.resize(200, 100);
    QApplication::processEvents();
    graph.SetRange(100, 25);
    CGraphSeries* s = graph.AddSeries(kRedRef, 1);
    graph.AddValue(s, 50);
    EXPECT_EQ(50, s->Value(0));

    graph.resize(320, 200);
    QApplication::processEvents();
    EXPECT_EQ(QSize(320, 200), graph.Picture().size()) << "redrawn without a further change";
    EXPECT_EQ(198, graph.PlotBottom());
    EXPECT_EQ(kGrid, At(graph.Picture(), 318, 150));
    // Stored heights stay; new values scale to the new height.
    EXPECT_EQ(kRed, At(graph.Picture(), 4, 198 - 50));
    graph.AddValue(s, 50);
    EXPECT_EQ(100, s->Value(1));

    // A hidden widget gets its resize event only when shown; the next change follows anyway.
    CGraphStatic hidden;
    hidden.resize(120, 60);
    hidden.SetGridVisible(true);
    EXPECT_EQ(QSize(120, 60), hidden.Picture().size());
}
