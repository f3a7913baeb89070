// A video window for tests: keeps every picture drawn into it.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/video_window.h"

namespace locket {

struct DrawnPicture {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> bgr;

    const uint8_t* Pixel(int x, int y) const { return bgr.data() + y * stride + x * 3; }
    // Mean of the three channels over a rectangle.
    double Mean(int x0, int y0, int w, int h) const {
        double sum = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                sum += Pixel(x, y)[0] + Pixel(x, y)[1] + Pixel(x, y)[2];
        return sum / (3.0 * w * h);
    }
};

class CFakeVideoWindow : public VVideoWindow {
public:
    CFakeVideoWindow(int width, int height) { m_size = {width, height}; }

    WindowSize GetSize() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_size;
    }
    void SetSize(int width, int height) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_size = {width, height};
    }

    void Draw(const unsigned char* bgr, int width, int height, int stride) override {
        DrawnPicture picture;
        picture.width = width;
        picture.height = height;
        picture.stride = stride;
        picture.bgr.assign(bgr, bgr + static_cast<size_t>(stride) * height);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_drawn.push_back(std::move(picture));
    }

    size_t DrawCount() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drawn.size();
    }
    std::vector<DrawnPicture> Drawn() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drawn;
    }
    DrawnPicture Last() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drawn.empty() ? DrawnPicture{} : m_drawn.back();
    }
    void ClearDrawn() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_drawn.clear();
    }

private:
    mutable std::mutex m_mutex;
    WindowSize m_size;
    std::vector<DrawnPicture> m_drawn;
};

}  // namespace locket
