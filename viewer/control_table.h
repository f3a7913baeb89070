// The main window's controls and both layouts as data, applied by one routine each.
#pragma once

#include <span>

namespace locket {

enum class ControlKind {
    kButton,     // skinned push button: normal, pressed, focused, disabled
    kSkinCheck,  // skinned check button: normal, down, over, disabled
    kSlider,     // channel, active channel, thumb, active thumb
    kLabel,      // text label
    kPicture,    // picture control (list header, signal icons, gauges): its first skin
    kBar,        // full-screen bar background
    kVideo,      // picture target of a video channel
    kList,
    kCheckBox,
    kGraph,
    kMap,
};

struct ControlDef {
    int id;
    ControlKind kind;
    int skin[4];
};

// A place in client coordinates. In the full-screen table x and y may count from the right
// and bottom edges (W - x, H - y); width and height 0 keep the control's size.
struct ControlPlace {
    int id;
    int x, y, w, h;
    bool fromRight = false;
    bool fromBottom = false;
};

std::span<const ControlDef> MainWindowControls();
std::span<const ControlPlace> WindowLayoutPlaces();
std::span<const ControlPlace> FullScreenLayoutPlaces();

}  // namespace locket
