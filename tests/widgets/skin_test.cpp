#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <vector>

#include "widgets/bitmap_button_trans.h"
#include "widgets/bitmap_slider.h"
#include "widgets/skin_button.h"
#include "widgets/skin_images.h"
#include "widgets/trans_bitmap.h"
#include "widgets/window_messages.h"

using namespace locket;

namespace {

constexpr QRgb kGreen = qRgb(0, 200, 0);
constexpr QRgb kRed = qRgb(220, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 220);
constexpr QRgb kMagenta = qRgb(255, 0, 255);

struct Message {
    int type;
    std::intptr_t wParam;
    std::intptr_t lParam;
    bool operator==(const Message&) const = default;
};

// Records the window messages that reach the object it filters.
class MessageLog : public QObject {
public:
    explicit MessageLog(QObject* watched) { watched->installEventFilter(this); }
    std::vector<Message> messages;

    bool eventFilter(QObject*, QEvent* event) override {
        const int type = event->type();
        if (type == WM_BITMAPSLIDER_MOVING || type == WM_BITMAPSLIDER_MOVED ||
            type == WM_SKIN_UNCHECK) {
            auto* message = static_cast<CWindowMessage*>(event);
            messages.push_back({type, message->WParam(), message->LParam()});
        }
        return false;
    }
    std::vector<Message> Take() {
        QCoreApplication::sendPostedEvents();
        return std::exchange(messages, {});
    }
};

// A parent that paints itself plain green, so keyed pixels show green on a grab.
QWidget* MakeGreenParent(QWidget* parent = nullptr) {
    auto* widget = new QWidget(parent);
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QColor(kGreen));
    widget->setPalette(palette);
    widget->resize(300, 100);
    return widget;
}

QImage Solid(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QRgb PixelOf(QWidget* widget, QPoint at) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(at) | 0xFF000000;
}

void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}
void Press(QWidget* w, QPoint at) {
    Mouse(w, QEvent::MouseButtonPress, at, Qt::LeftButton);
}
void Drag(QWidget* w, QPoint at) {
    Mouse(w, QEvent::MouseMove, at, Qt::LeftButton);
}
void Hover(QWidget* w, QPoint at) {
    Mouse(w, QEvent::MouseMove, at, Qt::NoButton);
}
void Release(QWidget* w, QPoint at) {
    Mouse(w, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

// 0..99 over a 200-pixel channel with a 10-pixel thumb: the thumb centre runs 5..195.
struct SeekSlider {
    std::unique_ptr<QWidget> parent{new QWidget};
    CBitmapSlider* slider = new CBitmapSlider(1002, parent.get());
    MessageLog log{parent.get()};

    SeekSlider() {
        slider->SetChannelImages(Solid(200, 14, kRed));
        slider->SetThumbImages(Solid(10, 14, kBlue));
        slider->SetRange(0, 99);
    }
};

}  // namespace

TEST(BitmapSlider, PositionsMapOntoTheTrackBetweenTheThumbHalvesAndBack) {
    SeekSlider s;
    EXPECT_EQ(QSize(200, 14), s.slider->size()) << "takes the channel's size";
    EXPECT_EQ(5, s.slider->PixelFromPos(0));
    EXPECT_EQ(195, s.slider->PixelFromPos(99));
    EXPECT_EQ(5 + 33 * 190 / 99, s.slider->PixelFromPos(33));
    EXPECT_EQ(0, s.slider->PosFromPixel(5));
    EXPECT_EQ(99, s.slider->PosFromPixel(195));
    EXPECT_EQ(32, s.slider->PosFromPixel(68)) << "truncated, not rounded";
    EXPECT_EQ(0, s.slider->PosFromPixel(-40));
    EXPECT_EQ(99, s.slider->PosFromPixel(500));

    s.slider->SetPos(150);
    EXPECT_EQ(99, s.slider->GetPos());
    s.slider->SetRange(-5, 5);
    EXPECT_EQ(5, s.slider->GetPos()) << "a narrower range clamps the position";

    // Margins shrink the track on their side; vertical sliders use y and the thumb height.
    s.slider->SetRange(0, 99);
    s.slider->SetMargin(10, 0, 20, 0);
    EXPECT_EQ(15, s.slider->PixelFromPos(0));
    EXPECT_EQ(175, s.slider->PixelFromPos(99));
    s.slider->SetMargin(0, 0, 0, 0);
    s.slider->SetVertical(true);
    s.slider->resize(14, 100);
    EXPECT_EQ(7, s.slider->PixelFromPos(0));
    EXPECT_EQ(93, s.slider->PixelFromPos(99));

    // Degenerate ranges and tracks stay at the start instead of dividing by zero.
    s.slider->SetRange(7, 7);
    EXPECT_EQ(7, s.slider->PixelFromPos(7));
    EXPECT_EQ(7, s.slider->PosFromPixel(60));
    s.slider->SetRange(0, 99);
    s.slider->resize(14, 10);
    EXPECT_EQ(7, s.slider->PixelFromPos(99));
    EXPECT_EQ(0, s.slider->PosFromPixel(9));
}

TEST(BitmapSlider, DraggingPostsMovingOnEachChangeAndMovedOnRelease) {
    SeekSlider s;
    Press(s.slider, {5, 7});  // on the thumb: it does not jump
    EXPECT_TRUE(s.slider->IsDragging());
    EXPECT_TRUE(s.log.Take().empty());

    Drag(s.slider, {150, 7});
    EXPECT_EQ(75, s.slider->GetPos());
    Drag(s.slider, {149, 7});  // another pixel, the same position: nothing to report
    Drag(s.slider, {400, 7});  // beyond the right end
    Release(s.slider, {400, 7});
    EXPECT_FALSE(s.slider->IsDragging());
    const std::vector<Message> expected{{WM_BITMAPSLIDER_MOVING, 1002, 75},
                                        {WM_BITMAPSLIDER_MOVING, 1002, 99},
                                        {WM_BITMAPSLIDER_MOVED, 1002, 99}};
    EXPECT_EQ(expected, s.log.Take());

    // Grabbed off-centre the thumb keeps its distance to the cursor.
    s.slider->SetPos(50);  // centre at 100
    Press(s.slider, {103, 7});
    EXPECT_EQ(50, s.slider->GetPos());
    Drag(s.slider, {113, 7});  // centre 110
    EXPECT_EQ(54, s.slider->GetPos());
    Release(s.slider, {113, 7});
    EXPECT_EQ((std::vector<Message>{{WM_BITMAPSLIDER_MOVING, 1002, 54},
                                    {WM_BITMAPSLIDER_MOVED, 1002, 54}}),
              s.log.Take());

    // A press away from the thumb makes it jump there.
    Press(s.slider, {30, 7});
    EXPECT_EQ(13, s.slider->GetPos());
    Release(s.slider, {30, 7});
    EXPECT_EQ((std::vector<Message>{{WM_BITMAPSLIDER_MOVING, 1002, 13},
                                    {WM_BITMAPSLIDER_MOVED, 1002, 13}}),
              s.log.Take());

    // Disabled, it neither moves nor reports.
    s.slider->Enable(false);
    Press(s.slider, {190, 7});
    Drag(s.slider, {60, 7});
    Release(s.slider, {60, 7});
    EXPECT_EQ(13, s.slider->GetPos());
    EXPECT_TRUE(s.log.Take().empty());
}

TEST(BitmapSlider, KeysStepClampAndPostMovedOncePerKey) {
    SeekSlider s;
    s.slider->SetPageSize(25);
    struct Step {
        Qt::Key key;
        int pos;
    };
    const Step steps[] = {{Qt::Key_End, 99},  {Qt::Key_End, 99},      {Qt::Key_Home, 0},
                          {Qt::Key_Left, 0},  {Qt::Key_PageDown, 25}, {Qt::Key_Right, 26},
                          {Qt::Key_Down, 27}, {Qt::Key_Up, 26},       {Qt::Key_PageUp, 1},
                          {Qt::Key_PageUp, 0}};
    for (const Step& step : steps) {
        QTest::keyClick(s.slider, step.key);
        EXPECT_EQ(step.pos, s.slider->GetPos()) << step.key;
        EXPECT_EQ((std::vector<Message>{{WM_BITMAPSLIDER_MOVED, 1002, step.pos}}), s.log.Take())
            << step.key;
    }
    QTest::keyClick(s.slider, Qt::Key_A);
    EXPECT_TRUE(s.log.Take().empty()) << "other keys are not the slider's";
    s.slider->Enable(false);
    QTest::keyClick(s.slider, Qt::Key_End);
    EXPECT_EQ(0, s.slider->GetPos());
    EXPECT_TRUE(s.log.Take().empty());
}

TEST(BitmapSlider, PaintsActiveChannelUpToTheThumbAndKeysOutTransparentColours) {
    std::unique_ptr<QWidget> parent(MakeGreenParent());
    auto* slider = new CBitmapSlider(1004, parent.get());
    // Channel from the skin: 81 x 14, opaque. Its active twin fills up to the thumb centre.
    ASSERT_TRUE(slider->SetBitmapChannel(422, 423));
    EXPECT_EQ(QSize(81, 14), slider->size());
    // Thumb with the key read from its top-left pixel (the magenta around the knob).
    ASSERT_TRUE(slider->SetBitmapThumb(420, 0, true, kKeyFromPixel, 0, 0));
    slider->SetRange(0, 99);
    slider->SetPos(50);
    slider->DrawFocusRect(false);
    const int centre = slider->PixelFromPos(50);

    const QImage channel = LoadSkinImage(422);
    const QImage active = LoadSkinImage(423);
    const QImage shot = slider->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_NE(channel.pixel(10, 7), active.pixel(10, 7));
    EXPECT_EQ(active.pixel(10, 7), shot.pixel(10, 7));
    EXPECT_EQ(channel.pixel(75, 7), shot.pixel(75, 7));
    // The thumb's corners are keyed out: the channel shows there, never magenta.
    const int left = centre - 5;
    EXPECT_EQ(active.pixel(left, 0), shot.pixel(left, 0));
    EXPECT_NE(kMagenta, shot.pixel(left + 9, 13) | 0xFF000000);
    EXPECT_EQ(LoadSkinImage(420).pixel(5, 7), shot.pixel(left + 5, 7));

    // A transparent channel lets the parent show through its key colour.
    QImage holed = Solid(81, 14, kRed);
    for (int x = 0; x < 81; ++x)
        holed.setPixel(x, 0, kBlue);
    slider->SetChannelImages(holed, {}, true, 0x00DC0000);  // 0x00BBGGRR: the blue
    slider->move(0, 0);
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {70, 0}));
    EXPECT_EQ(kRed, PixelOf(parent.get(), {70, 3}));
}

TEST(BitmapButtonTrans, KeyColourLetsTheParentShowAndStatesPickTheirImage) {
    std::unique_ptr<QWidget> parent(MakeGreenParent());
    auto* button = new CBitmapButtonTrans(parent.get());
    ASSERT_TRUE(button->LoadBitmaps(434, 435, 434));
    button->SizeToContent();
    EXPECT_EQ(QSize(25, 25), button->size());
    button->move(10, 10);
    const QImage normal = LoadSkinImage(434);
    const QImage pressed = LoadSkinImage(435);

    // Magenta (the default key) is not in the image: the whole rectangle is drawn.
    EXPECT_EQ(normal.pixel(0, 0), PixelOf(parent.get(), {10, 10}));
    EXPECT_EQ(normal.pixel(5, 5), PixelOf(parent.get(), {15, 15}));

    button->SetTransColor(0);  // black, as the main window sets it
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {10, 10}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {34, 34}));
    EXPECT_EQ(normal.pixel(5, 5), PixelOf(parent.get(), {15, 15}));

    button->setDown(true);
    ASSERT_NE(normal.pixel(5, 5), pressed.pixel(5, 5));
    EXPECT_EQ(pressed.pixel(5, 5), PixelOf(parent.get(), {15, 15}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {10, 10}));
    button->setDown(false);
    button->setEnabled(false);  // no disabled image: the normal one
    EXPECT_EQ(normal.pixel(5, 5), PixelOf(parent.get(), {15, 15}));

    EXPECT_FALSE(button->LoadBitmaps(9999)) << "an id without an image";
    EXPECT_TRUE(LoadSkinImage(9999).isNull());
}

TEST(TransBitmap, DrawsItsImageWithBlackKeyedOut) {
    std::unique_ptr<QWidget> parent(MakeGreenParent());
    auto* picture = new TransBitmap(parent.get());
    QImage icon = Solid(8, 8, qRgb(0, 0, 0));
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            icon.setPixel(x, y, kRed);
    picture->SetBitmap(icon);
    picture->resize(20, 20);
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {0, 0}));
    EXPECT_EQ(kRed, PixelOf(parent.get(), {3, 3}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {12, 12})) << "drawn in its own size only";
    picture->SetTransColor(0x000000DC);  // now red is the key and black is drawn
    EXPECT_EQ(qRgb(0, 0, 0), PixelOf(parent.get(), {0, 0}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {3, 3}));
}

TEST(SkinButton, CheckedRadioUnchecksItsGroupThroughPostedMessages) {
    QWidget parent;
    CxSkinButton a(CxSkinButton::kRadioButton, &parent), b(CxSkinButton::kRadioButton, &parent),
        c(CxSkinButton::kRadioButton, &parent), other(CxSkinButton::kRadioButton, &parent);
    CxSkinButton push(CxSkinButton::kPushButton, &parent);
    for (CxSkinButton* button : {&a, &b, &c, &push})
        button->SetGroup(1);
    other.SetGroup(2);
    MessageLog logA(&a);

    other.SetCheck(true);
    a.SetCheck(true);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(a.GetCheck());
    EXPECT_TRUE(other.GetCheck()) << "another group is left alone";

    b.SetCheck(true);
    EXPECT_TRUE(a.GetCheck()) << "the uncheck is posted, not sent";
    EXPECT_EQ(1u, logA.Take().size());
    EXPECT_FALSE(a.GetCheck());
    EXPECT_TRUE(b.GetCheck());
    EXPECT_FALSE(c.GetCheck());
    EXPECT_TRUE(other.GetCheck());

    // A click checks a radio (and a second click keeps it checked).
    c.resize(20, 10);
    for (int i = 0; i < 2; ++i) {
        Press(&c, {5, 5});
        Release(&c, {5, 5});
        QCoreApplication::sendPostedEvents();
        EXPECT_TRUE(c.GetCheck());
        EXPECT_FALSE(b.GetCheck());
    }

    push.SetCheck(true);
    EXPECT_FALSE(push.GetCheck()) << "a push button never holds a check";
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(c.GetCheck()) << "an unchecked push button does not clear the group";
}

TEST(SkinButton, CheckBoxTogglesOnReleaseOverItAndDrawsTheDownSkinWhileChecked) {
    std::unique_ptr<QWidget> parent(MakeGreenParent());
    auto* box = new CxSkinButton(CxSkinButton::kCheckBox, parent.get());
    ASSERT_TRUE(box->SetSkinImages(Solid(20, 10, kRed), Solid(20, 10, kBlue), {}, {}, {}, {},
                                   CxSkinButton::kDrawNormal));
    box->resize(20, 10);
    int clicks = 0;
    QObject::connect(box, &QAbstractButton::clicked, [&] { ++clicks; });

    Press(box, {5, 5});
    EXPECT_TRUE(box->IsHeld());
    Release(box, {5, 5});
    EXPECT_TRUE(box->GetCheck());
    EXPECT_FALSE(box->IsHeld());
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(kBlue, PixelOf(box, {3, 3}));

    Press(box, {5, 5});
    Drag(box, {50, 5});
    Release(box, {50, 5});  // let go outside: no toggle, no click
    EXPECT_TRUE(box->GetCheck());
    EXPECT_EQ(1, clicks);

    Press(box, {5, 5});
    Release(box, {6, 6});
    EXPECT_FALSE(box->GetCheck());
    EXPECT_EQ(kRed, PixelOf(box, {3, 3}));

    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(box->GetCheck()) << "space works as a click";

    // Over skin while hovered, cleared on leave; disabled falls back to the normal skin.
    box->SetSkinImages(Solid(20, 10, kRed), Solid(20, 10, kBlue), Solid(20, 10, kMagenta), {}, {},
                       {}, CxSkinButton::kDrawNormal);
    box->SetCheck(false);
    Hover(box, {5, 5});
    EXPECT_TRUE(box->IsOver());
    EXPECT_EQ(kMagenta, PixelOf(box, {3, 3}));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(box, &leave);
    EXPECT_FALSE(box->IsOver());
    box->SetCheck(true);
    box->setEnabled(false);
    EXPECT_EQ(kRed, PixelOf(box, {3, 3}));
}

TEST(SkinButton, MaskShapesTheButtonForDrawingAndClicks) {
    std::unique_ptr<QWidget> parent(MakeGreenParent());
    auto* button = new CxSkinButton(CxSkinButton::kCheckBox, parent.get());
    // Mask 16 x 8: black (the button) in the left half, white elsewhere.
    QImage mask = Solid(16, 8, qRgb(255, 255, 255));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            mask.setPixel(x, y, qRgb(0, 0, 0));
    button->resize(40, 40);
    ASSERT_TRUE(button->SetSkinImages(Solid(16, 8, kRed), Solid(16, 8, kBlue), {}, {}, {}, mask,
                                      9 /* clamped to tile */));
    EXPECT_EQ(CxSkinButton::kDrawTile, button->GetDrawMode());
    ASSERT_TRUE(button->SetSkinImages(Solid(16, 8, kRed), Solid(16, 8, kBlue), {}, {}, {}, mask,
                                      CxSkinButton::kDrawNormal));
    EXPECT_EQ(QSize(16, 8), button->size()) << "takes the mask's size";
    EXPECT_EQ(QRegion(0, 0, 8, 8), button->GetRegion());

    button->move(0, 0);
    EXPECT_EQ(kRed, PixelOf(parent.get(), {2, 2}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {12, 2}));

    Press(button, {12, 4});
    Release(button, {12, 4});
    EXPECT_FALSE(button->GetCheck()) << "outside the shape is not the button";
    Press(button, {3, 4});
    Release(button, {3, 4});
    EXPECT_TRUE(button->GetCheck());
    EXPECT_EQ(kBlue, PixelOf(parent.get(), {2, 2}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {12, 2}));

    // Stretched, the mask stretches with the image.
    ASSERT_TRUE(button->SetSkinImages(Solid(16, 8, kRed), {}, {}, {}, {}, mask,
                                      CxSkinButton::kDrawStretch));
    button->SetCheck(false);
    button->resize(32, 16);
    EXPECT_EQ(kRed, PixelOf(parent.get(), {4, 12}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {28, 12})) << "masked out of the stretched picture";
    EXPECT_TRUE(button->GetRegion().contains(QPoint(15, 15)));
    EXPECT_FALSE(button->GetRegion().contains(QPoint(16, 0)));
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
