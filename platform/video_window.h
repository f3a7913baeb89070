// A surface the engine draws decoded pictures into, in place of a native window handle.
#pragma once

namespace locket {

struct WindowSize {
    int width = 0;
    int height = 0;
};

class VVideoWindow {
public:
    virtual ~VVideoWindow() = default;

    // Current client size; callable from any thread.
    virtual WindowSize GetSize() const = 0;

    // Called from the player thread. The implementation copies the picture before returning
    // and repaints on its own thread.
    virtual void Draw(const unsigned char* bgr, int width, int height, int stride) = 0;
};

}  // namespace locket
