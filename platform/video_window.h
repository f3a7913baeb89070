// A surface the engine draws decoded pictures into, in place of a native window handle.
#pragma once

namespace locket {

struct WindowSize {
    int width = 0;
    int height = 0;
};

// How a window keeps its pixels, so that the decoder scales straight into what the window
// paints from.
enum class PixelLayout : int {
    kBgr24 = 0,   // three bytes a pixel: blue, green, red
    kBgrx32 = 1,  // four bytes a pixel: blue, green, red, 255 (0xFFRRGGBB as a little-endian word)
};

inline int BytesPerPixel(PixelLayout layout) {
    return layout == PixelLayout::kBgrx32 ? 4 : 3;
}

// Memory for one picture, lent by the window until EndPicture.
struct PictureBuffer {
    unsigned char* pixels = nullptr;
    int stride = 0;
    PixelLayout layout = PixelLayout::kBgr24;
};

class VVideoWindow {
public:
    virtual ~VVideoWindow() = default;

    // Current client size; callable from any thread. A hidden window keeps its size.
    virtual WindowSize GetSize() const = 0;

    // Whether the window is shown; callable from any thread. A hidden one is given no pictures.
    virtual bool IsShown() const = 0;

    // Called from the player thread: memory of width x height pixels in the window's own layout
    // for the next picture. EndPicture(true) hands the written picture over to be shown,
    // EndPicture(false) gives the memory back unshown. Null pixels: nothing to draw into, and no
    // EndPicture follows.
    virtual PictureBuffer BeginPicture(int width, int height) = 0;
    virtual void EndPicture(bool written) = 0;
};

}  // namespace locket
