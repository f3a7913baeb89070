#include "widgets/skin_images.h"

#include <QDir>
#include <QPainter>
#include <QSvgRenderer>

#include <atomic>
#include <cstdio>

#include "widgets/string_table.h"

namespace locket {

namespace {

std::atomic<bool> g_englishSkins{false};

QString FindSkinIn(const QString& folder, int id) {
    const QStringList found =
        QDir(folder).entryList({QStringLiteral("%1-*.svg").arg(id)}, QDir::Files);
    return found.isEmpty() ? QString() : folder + QLatin1Char('/') + found.first();
}

QString FindSkinResource(int id) {
    if (g_englishSkins.load()) {
        const QString english = FindSkinIn(QStringLiteral(":/skin/en"), id);
        if (!english.isEmpty())
            return english;
    }
    return FindSkinIn(QStringLiteral(":/skin"), id);
}

bool IsBlack(QRgb pixel) {
    return (pixel & 0xFFFFFF) == 0;
}

}  // namespace

QImage LoadSkinImage(int id) {
    const QString path = FindSkinResource(id);
    if (path.isEmpty()) {
        printf("[Skin] no image %d\n", id);
        return {};
    }
    QSvgRenderer renderer(path);
    const QSize size = renderer.defaultSize();
    if (!renderer.isValid() || size.isEmpty()) {
        printf("[Skin] image %d does not render\n", id);
        return {};
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

void SetSkinLanguage(int langId) {
    g_englishSkins.store(langId != kLangKorean);
}

QImage ApplyColorKey(const QImage& image, QRgb key) {
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb opaqueKey = key | 0xFF000000;
    for (int y = 0; y < keyed.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x) {
            if ((line[x] | 0xFF000000) == opaqueKey)
                line[x] = 0;
        }
    }
    return keyed;
}

QRgb ResolveColorKey(const QImage& image, std::uint32_t colorRef, int x, int y) {
    if (colorRef != kKeyFromPixel)
        return RgbFromColorRef(colorRef);
    if (!image.valid(x, y))
        return qRgb(0, 0, 0);
    return image.pixel(x, y) | 0xFF000000;
}

QRegion RegionFromMask(const QImage& mask) {
    QRegion region;
    const QImage pixels = mask.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int x = 0;
        while (x < pixels.width()) {
            while (x < pixels.width() && !IsBlack(line[x]))
                ++x;
            const int start = x;
            while (x < pixels.width() && IsBlack(line[x]))
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

QImage ApplyMask(const QImage& image, const QImage& mask) {
    QImage masked = image.convertToFormat(QImage::Format_ARGB32);
    const QImage pixels = mask.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        const auto* maskLine =
            y < pixels.height() ? reinterpret_cast<const QRgb*>(pixels.constScanLine(y)) : nullptr;
        for (int x = 0; x < masked.width(); ++x) {
            if (!maskLine || x >= pixels.width() || !IsBlack(maskLine[x]))
                line[x] = 0;
        }
    }
    return masked;
}

}  // namespace locket
