// The dark palette of the window's skin, given to the dialogs and message boxes the viewer
// opens so that they look part of one program.
#pragma once

#include <QPalette>

namespace locket {

QPalette WindowPalette();

}  // namespace locket
