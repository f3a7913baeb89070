#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

#include "widgets/bitmap_button_trans.h"
#include "widgets/bitmap_slider.h"
#include "widgets/seek_marks.h"
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

// The numbers the main window's handlers are written against.
constexpr int kMoving = 0x28D1, kMoved = 0x28D2;

struct Message {
    int type;
    std::intptr_t wParam, lParam;
    bool operator==(const Message&) const = default;
};

// Records the window messages that reach the object it filters; Take() delivers posted ones.
struct MessageLog : QObject {
    explicit MessageLog(QObject* watched) { watched->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (auto* m = dynamic_cast<CWindowMessage*>(event))
            m_messages.push_back({event->type(), m->WParam(), m->LParam()});
        return false;
    }
    std::vector<Message> Take() {
        QCoreApplication::sendPostedEvents();
        return std::exchange(m_messages, {});
    }
    std::vector<Message> m_messages;
};

// A parent that paints itself plain green, so keyed pixels show green on a grab.
std::unique_ptr<QWidget> GreenParent() {
    auto widget = std::make_unique<QWidget>();
    widget->setAutoFillBackground(true);
    widget->setPalette(QPalette(QColor(kGreen)));
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

// A left-button press, drag or release; the test library keeps the button held in between.
void Mouse(QWidget* widget, QTest::MouseAction action, QPoint at) {
    QTest::mouseEvent(action, widget, action == QTest::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      {}, at);
}
constexpr auto kPress = QTest::MousePress, kMove = QTest::MouseMove, kRelease = QTest::MouseRelease,
               kClick = QTest::MouseClick;

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

TEST(BitmapSlider, PositionsMapOntoTheTrackAndSeekMarksSitAtTheirTimesOverIt) {
    SeekSlider s;
    CBitmapSlider& slider = *s.slider;
    // Knock ticks and the clip band over the seek bar, between whole seconds as well; the bar
    // keeps its mouse and shows through elsewhere.
    s.parent->show();  // marks made on a bar already laid out take its size at once
    auto* marks = new CSeekMarks(&slider);
    // 33 s and 34 s sit at 68 and 70; the ends at 5 and 195.
    for (auto [ms, pixel] : {std::pair{33500, 69.0}, {-5, 5.0}, {500000, 195.0}})
        EXPECT_DOUBLE_EQ(pixel, marks->PixelOf(ms)) << ms;
    marks->SetKnocks({4000, 50000});
    const int knock = static_cast<int>(marks->PixelOf(50000));
    for (auto [x, near] :
         {std::pair{knock + 4, 1}, {knock + 6, -1}, {static_cast<int>(marks->PixelOf(4000)), 0}})
        EXPECT_EQ(near, marks->KnockNear(x)) << x;
    EXPECT_EQ(nullptr, slider.childAt(knock, 7)) << "presses reach the bar";

    marks->SetBand(-1, 20000);
    const auto shot = [&](int x) { return PixelOf(&slider, {x, 7}); };
    EXPECT_EQ(CSeekMarks::kKnockColour, shot(knock));
    EXPECT_EQ(kRed, shot(knock + 20));
    const QRgb band = shot(static_cast<int>(marks->PixelOf(15000)));
    EXPECT_NE(kRed, band);
    EXPECT_EQ(band, shot(static_cast<int>(marks->PixelOf(5000)))) << "from the start";
    EXPECT_EQ(kRed, shot(static_cast<int>(marks->PixelOf(25000))));

    for (auto [pos, pixel] : {std::pair{0, 5}, {99, 195}, {33, 68}})
        EXPECT_EQ(pixel, slider.PixelFromPos(pos)) << pos;
    // Back truncated, not rounded, and clamped past both ends.
    for (auto [pixel, pos] : {std::pair{5, 0}, {195, 99}, {68, 32}, {-40, 0}, {500, 99}})
        EXPECT_EQ(pos, slider.PosFromPixel(pixel)) << pixel;
    slider.SetPos(150);
    EXPECT_EQ(99, slider.GetPos());
    slider.SetRange(-5, 5);
    EXPECT_EQ(5, slider.GetPos()) << "a narrower range clamps the position";

    // Margins shrink the track on their side; vertical sliders use y and the thumb height.
    const auto ends = [&] { return std::pair(slider.PixelFromPos(0), slider.PixelFromPos(99)); };
    slider.SetRange(0, 99);
    slider.SetMargin(10, 0, 20, 0);
    EXPECT_EQ(std::pair(15, 175), ends());
    slider.SetMargin(0, 0, 0, 0);
    slider.SetVertical(true);
    slider.resize(14, 100);
    EXPECT_EQ(std::pair(7, 93), ends());

    // Degenerate ranges and tracks stay at the start instead of dividing by zero.
    slider.SetRange(7, 7);
    EXPECT_EQ(7, slider.PixelFromPos(7));
    EXPECT_EQ(7, slider.PosFromPixel(60));
    slider.SetRange(0, 99);
    slider.resize(14, 10);
    EXPECT_EQ(7, slider.PixelFromPos(99));
    EXPECT_EQ(0, slider.PosFromPixel(9));
    EXPECT_EQ(slider.rect(), marks->geometry()) << "the marks follow the bar's size";
}

TEST(BitmapSlider, DragsPostMovingOnEachChangeAndMovedOnReleaseKeysPostMovedOnce) {
    SeekSlider s;
    using Messages = std::vector<Message>;
    Mouse(s.slider, kPress, {5, 7});  // on the thumb: it does not jump
    Mouse(s.slider, kMove, {150, 7});
    Mouse(s.slider, kMove, {149, 7});  // another pixel, the same position: nothing to report
    Mouse(s.slider, kMove, {400, 7});  // beyond the right end
    Mouse(s.slider, kRelease, {400, 7});
    EXPECT_EQ((Messages{{kMoving, 1002, 75}, {kMoving, 1002, 99}, {kMoved, 1002, 99}}),
              s.log.Take());

    // Grabbed off-centre the thumb keeps its distance to the cursor.
    s.slider->SetPos(50);  // centre at 100
    Mouse(s.slider, kPress, {103, 7});
    Mouse(s.slider, kMove, {113, 7});  // centre 110
    Mouse(s.slider, kRelease, {113, 7});
    EXPECT_EQ((Messages{{kMoving, 1002, 54}, {kMoved, 1002, 54}}), s.log.Take());

    // A press away from the thumb makes it jump there.
    Mouse(s.slider, kClick, {30, 7});
    EXPECT_EQ((Messages{{kMoving, 1002, 13}, {kMoved, 1002, 13}}), s.log.Take());

    s.slider->SetPageSize(25);
    const Qt::Key keys[] = {Qt::Key_End,      Qt::Key_End,   Qt::Key_Home, Qt::Key_Left,
                            Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up,
                            Qt::Key_PageUp,   Qt::Key_PageUp};
    const int positions[] = {99, 99, 0, 0, 25, 26, 27, 26, 1, 0};
    for (size_t i = 0; i < std::size(keys); ++i) {
        QTest::keyClick(s.slider, keys[i]);
        EXPECT_EQ((Messages{{kMoved, 1002, positions[i]}}), s.log.Take()) << "key " << i;
    }
    QTest::keyClick(s.slider, Qt::Key_A);
    EXPECT_TRUE(s.log.Take().empty()) << "other keys are not the slider's";

    // Disabled, it neither moves nor reports.
    s.slider->Enable(false);
    Mouse(s.slider, kPress, {190, 7});
    Mouse(s.slider, kMove, {60, 7});
    Mouse(s.slider, kRelease, {60, 7});
    QTest::keyClick(s.slider, Qt::Key_End);
    EXPECT_TRUE(s.log.Take().empty());
}

TEST(BitmapSlider, PaintsActiveChannelUpToTheThumbAndKeysOutTransparentColours) {
    const auto parent = GreenParent();
    auto* slider = new CBitmapSlider(1004, parent.get());
    // Channel from the skin: 81 x 14, opaque. Its active twin fills up to the thumb centre.
    ASSERT_TRUE(slider->SetBitmapChannel(422, 423));
    EXPECT_EQ(QSize(81, 14), slider->size());
    // Thumb with the key read from its top-left pixel (the magenta around the knob).
    ASSERT_TRUE(slider->SetBitmapThumb(420, 0, true, kKeyFromPixel, 0, 0));
    slider->SetRange(0, 99);
    slider->SetPos(50);
    slider->DrawFocusRect(false);
    const QImage channel = LoadSkinImage(422), active = LoadSkinImage(423);
    const QImage shot = slider->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_NE(channel.pixel(10, 7), active.pixel(10, 7));
    EXPECT_EQ(active.pixel(10, 7), shot.pixel(10, 7));
    EXPECT_EQ(channel.pixel(75, 7), shot.pixel(75, 7));
    // The thumb's corners are keyed out: the channel shows there, never magenta.
    const int left = slider->PixelFromPos(50) - 5;
    EXPECT_EQ(active.pixel(left, 0), shot.pixel(left, 0));
    EXPECT_NE(kMagenta, shot.pixel(left + 9, 13) | 0xFF000000);
    for (int x : {3, 5})  // on both sides of the centre
        EXPECT_EQ(LoadSkinImage(420).pixel(x, 7), shot.pixel(left + x, 7)) << x;

    // A transparent channel lets the parent show through its key colour.
    QImage holed = Solid(81, 14, kRed);
    QPainter(&holed).fillRect(0, 0, 81, 1, QColor(kBlue));
    slider->SetChannelImages(holed, {}, true, 0x00DC0000);  // 0x00BBGGRR: the blue
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {70, 0}));
    EXPECT_EQ(kRed, PixelOf(parent.get(), {70, 3}));
}

TEST(KeyedPictures, ButtonAndBitmapLetTheParentShowThroughTheirKeyColour) {
    const auto parent = GreenParent();
    auto* button = new CBitmapButtonTrans(parent.get());
    ASSERT_TRUE(button->LoadBitmaps(434, 435, 434));
    button->SizeToContent();
    EXPECT_EQ(QSize(25, 25), button->size());
    button->move(10, 10);
    const QImage normal = LoadSkinImage(434), pressed = LoadSkinImage(435);
    // Magenta (the default key) is not in the image: the whole rectangle is drawn.
    EXPECT_EQ(normal.pixel(0, 0), PixelOf(parent.get(), {10, 10}));
    button->SetTransColor(0);  // black, as the main window sets it
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {10, 10}));
    EXPECT_EQ(normal.pixel(5, 5), PixelOf(parent.get(), {15, 15}));
    button->setDown(true);
    ASSERT_NE(normal.pixel(5, 5), pressed.pixel(5, 5));
    EXPECT_EQ(pressed.pixel(5, 5), PixelOf(parent.get(), {15, 15}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {10, 10}));
    button->setDown(false);
    button->setEnabled(false);  // no disabled image: the normal one
    EXPECT_EQ(normal.pixel(5, 5), PixelOf(parent.get(), {15, 15}));
    EXPECT_FALSE(button->LoadBitmaps(9999)) << "an id without an image";
    delete button;

    auto* picture = new TransBitmap(parent.get());
    QImage icon = Solid(8, 8, qRgb(0, 0, 0));
    QPainter(&icon).fillRect(2, 2, 4, 4, QColor(kRed));
    picture->SetBitmap(icon);
    picture->resize(20, 20);
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {0, 0})) << "black is the default key";
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

    b.SetCheck(true);
    EXPECT_TRUE(a.GetCheck()) << "the uncheck is posted, not sent";
    EXPECT_EQ((std::vector<Message>{{0x500, 0, 0}}), logA.Take());
    EXPECT_FALSE(a.GetCheck());
    EXPECT_TRUE(other.GetCheck()) << "another group is left alone";

    // A click checks a radio (and a second click keeps it checked).
    c.resize(20, 10);
    for (int i = 0; i < 2; ++i) {
        Mouse(&c, kClick, {5, 5});
        QCoreApplication::sendPostedEvents();
        EXPECT_TRUE(c.GetCheck()) << i;
        EXPECT_FALSE(b.GetCheck()) << i;
    }

    push.SetCheck(true);
    EXPECT_FALSE(push.GetCheck()) << "a push button never holds a check";
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(c.GetCheck()) << "an unchecked push button does not clear the group";
}

TEST(SkinButton, CheckBoxTogglesOnReleaseOverItDrawsTheDownSkinWhileCheckedAndTakesItsMask) {
    const auto parent = GreenParent();
    auto* box = new CxSkinButton(CxSkinButton::kCheckBox, parent.get());
    ASSERT_TRUE(box->SetSkinImages(Solid(20, 10, kRed), Solid(20, 10, kBlue),
                                   Solid(20, 10, kMagenta), {}, {}, {}, CxSkinButton::kDrawNormal));
    box->resize(20, 10);
    int clicks = 0;
    QObject::connect(box, &QAbstractButton::clicked, [&] { ++clicks; });

    Mouse(box, kClick, {5, 5});
    EXPECT_TRUE(box->GetCheck());
    EXPECT_FALSE(box->IsHeld());
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(kBlue, PixelOf(box, {3, 3}));

    Mouse(box, kPress, {5, 5});
    Mouse(box, kMove, {50, 5});
    Mouse(box, kRelease, {50, 5});  // let go outside: no toggle, no click
    EXPECT_TRUE(box->GetCheck());
    EXPECT_EQ(1, clicks);

    Mouse(box, kPress, {5, 5});
    Mouse(box, kRelease, {6, 6});
    EXPECT_FALSE(box->GetCheck());
    EXPECT_EQ(kRed, PixelOf(box, {3, 3}));
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(box->GetCheck()) << "space works as a click";

    // Over skin while hovered, cleared on leave; disabled falls back to the normal skin.
    box->SetCheck(false);
    QMouseEvent hover(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(box, &hover);
    EXPECT_EQ(kMagenta, PixelOf(box, {3, 3}));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(box, &leave);
    box->SetCheck(true);
    box->setEnabled(false);
    EXPECT_EQ(kRed, PixelOf(box, {3, 3}));

    // Focused without a focus image: a dotted frame inside the border; no frame without one.
    box->setEnabled(true);
    box->SetCheck(false);
    parent->show();
    parent->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(parent.get()));
    box->setFocus();
    ASSERT_TRUE(box->hasFocus());
    EXPECT_EQ(kRed, PixelOf(box, {2, 1}));
    box->SetSkinImages(Solid(20, 10, kRed), {}, {}, {}, {}, {}, CxSkinButton::kDrawNormal, 1);
    EXPECT_NE(kRed, PixelOf(box, {2, 1}));
    EXPECT_EQ(kRed, PixelOf(box, {2, 0}));
    // A menu taking the focus mid-press lets go of the button: the release toggles nothing.
    Mouse(box, kPress, {5, 5});
    QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(box, &out);
    EXPECT_FALSE(box->isDown());
    Mouse(box, kRelease, {5, 5});
    EXPECT_FALSE(box->GetCheck());

    // A mask shapes the button for drawing and clicks. Mask 16 x 8: black (the button) in the left
    // half, white elsewhere.
    QImage mask = Solid(16, 8, qRgb(255, 255, 255));
    QPainter(&mask).fillRect(0, 0, 8, 8, Qt::black);
    box->resize(40, 40);
    ASSERT_TRUE(box->SetSkinImages(Solid(16, 8, kRed), Solid(16, 8, kBlue), {}, {}, {}, mask,
                                   CxSkinButton::kDrawNormal));
    EXPECT_EQ(QSize(16, 8), box->size()) << "takes the mask's size";
    EXPECT_EQ(QRegion(0, 0, 8, 8), box->GetRegion());
    EXPECT_EQ(kRed, PixelOf(parent.get(), {2, 2}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {12, 2}));
    Mouse(box, kClick, {12, 4});
    EXPECT_FALSE(box->GetCheck()) << "outside the shape is not the button";
    Mouse(box, kClick, {3, 4});
    EXPECT_TRUE(box->GetCheck());
    EXPECT_EQ(kBlue, PixelOf(parent.get(), {2, 2}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {12, 2}));

    // Stretched, the mask stretches with the image.
    ASSERT_TRUE(
        box->SetSkinImages(Solid(16, 8, kRed), {}, {}, {}, {}, mask, CxSkinButton::kDrawStretch));
    box->SetCheck(false);
    box->resize(32, 16);
    EXPECT_EQ(kRed, PixelOf(parent.get(), {4, 12}));
    EXPECT_EQ(kGreen, PixelOf(parent.get(), {28, 12})) << "masked out of the stretched picture";
    EXPECT_TRUE(box->GetRegion().contains(QPoint(15, 15)));
    EXPECT_FALSE(box->GetRegion().contains(QPoint(16, 0)));
}
