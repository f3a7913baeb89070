// An 8-bit, three-channel BGR picture whose pixel memory the object owns (shared on copy,
// made private before a write), with an OpenCV header over it for flipping and saving.
#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "base/vip_array.h"

namespace locket {

template <class T, int Depth>
class CVipImgTempl;

template <>
class CVipImgTempl<unsigned char, 8> {
public:
    CVipImgTempl() = default;
    CVipImgTempl(int width, int height, int channels = 3) { Allocate(width, height, channels); }
    virtual ~CVipImgTempl() = default;
    CVipImgTempl(const CVipImgTempl&) = default;
    CVipImgTempl& operator=(const CVipImgTempl&) = default;

    // (Re)sizes the picture; keeps the memory when the size is unchanged. Rows are padded to
    // four bytes. A non-positive size leaves an empty picture and returns false.
    bool Allocate(int width, int height, int channels = 3);

    // Makes the pixels private before they are written.
    void _CopyBeforeWrite() { m_pixels.CopyBeforeWrite(); }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Channels() const { return m_channels; }
    int Stride() const { return m_stride; }
    bool IsEmpty() const { return m_width == 0 || m_height == 0; }
    const unsigned char* Data() const { return m_pixels.GetData(); }
    unsigned char* WritableData() { return m_pixels.GetWritableData(); }

    // Header over the (private) pixels; valid until the picture is resized or released.
    cv::Mat Mat();
    cv::Mat ConstMat() const;

    // Mirrors in place: 0 upside down, 1 left to right, -1 both.
    void Flip(int mode);

    // Writes the picture as a JPEG (the path's extension picks the format); false on failure.
    bool SaveImage(const std::string& path) const;

private:
    CVipArrBase<unsigned char> m_pixels;
    int m_width = 0;
    int m_height = 0;
    int m_channels = 0;
    int m_stride = 0;
};

using CVipImage = CVipImgTempl<unsigned char, 8>;

}  // namespace locket
