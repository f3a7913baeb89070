// Skin images by resource id, and the colour-key and mask helpers every skinned control uses.
#pragma once

#include <QImage>
#include <QRegion>
#include <QRgb>

#include <cstdint>

namespace locket {

// Colours are passed as the recorder software stores them: 0x00BBGGRR.
inline constexpr std::uint32_t kMagentaKey = 0x00FF00FF;
// Asks for the key colour to be read from a pixel of the image instead.
inline constexpr std::uint32_t kKeyFromPixel = 0xFF000000;

constexpr QRgb RgbFromColorRef(std::uint32_t colorRef) {
    return qRgb(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

// Renders ":/skin/<id>-<name>.svg" at the SVG's own size into an opaque image (parts the
// drawing leaves uncovered are black, as in an empty bitmap). A null image when no resource
// carries the id or it does not render. Outside Korean, an image with words is taken from
// ":/skin/en/" when it is there.
QImage LoadSkinImage(int id);

// The language of the words in the skin images loaded from now on (a primary-language id, as
// the string table's). Korean until set.
void SetSkinLanguage(int langId);

// A copy of the image in which every pixel of exactly the key colour is fully transparent.
QImage ApplyColorKey(const QImage& image, QRgb key);

// The key colour itself, or for kKeyFromPixel the colour of pixel (x, y) (black when that
// pixel lies outside the image).
QRgb ResolveColorKey(const QImage& image, std::uint32_t colorRef, int x, int y);

// The region of the mask's black pixels, as one-pixel-high runs.
QRegion RegionFromMask(const QImage& mask);

// The image with every pixel outside the region (white in the mask) transparent.
QImage ApplyMask(const QImage& image, const QImage& mask);

}  // namespace locket
