#include "base/vip_image.h"

#include <cstdio>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace locket {

bool CVipImgTempl<unsigned char, 8>::Allocate(int width, int height, int channels) {
    if (width <= 0 || height <= 0 || channels <= 0 || channels > 4) {
        m_pixels.Release();
        m_width = m_height = m_channels = m_stride = 0;
        return false;
    }
    int stride = (width * channels + 3) & ~3;
    if (width == m_width && height == m_height && channels == m_channels)
        return true;
    m_pixels.Allocate(stride * height);
    m_pixels.SetSize(stride * height);
    m_width = width;
    m_height = height;
    m_channels = channels;
    m_stride = stride;
    return true;
}

cv::Mat CVipImgTempl<unsigned char, 8>::Mat() {
    if (IsEmpty())
        return cv::Mat();
    return cv::Mat(m_height, m_width, CV_8UC(m_channels), WritableData(), m_stride);
}

cv::Mat CVipImgTempl<unsigned char, 8>::ConstMat() const {
    if (IsEmpty())
        return cv::Mat();
    return cv::Mat(m_height, m_width, CV_8UC(m_channels), const_cast<unsigned char*>(Data()),
                   m_stride);
}

void CVipImgTempl<unsigned char, 8>::Flip(int mode) {
    if (IsEmpty())
        return;
    cv::Mat pixels = Mat();
    cv::flip(pixels, pixels, mode);
}

bool CVipImgTempl<unsigned char, 8>::SaveImage(const std::string& path) const {
    if (IsEmpty())
        return false;
    try {
        return cv::imwrite(path, ConstMat());
    } catch (const cv::Exception& e) {
        std::printf("[CVipImage] SaveImage %s failed: %s\n", path.c_str(), e.what());
        return false;
    }
}

}  // namespace locket
