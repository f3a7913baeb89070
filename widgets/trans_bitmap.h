// A picture control: draws its image at (0, 0) in its own size, one colour keyed out.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace locket {

class TransBitmap : public QWidget {
    Q_OBJECT
public:
    explicit TransBitmap(QWidget* parent = nullptr);

    // STM_SETIMAGE: replaces the picture; a null image clears it.
    void SetBitmap(const QImage& image);
    // Loads the skin image by id; false (and no picture) when it does not load.
    bool SetBitmapId(int id);
    const QImage& GetBitmap() const { return m_image; }

    void SetTransColor(std::uint32_t colorRef);
    std::uint32_t GetTransColor() const { return m_transColor; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QImage m_keyed;
    std::uint32_t m_transColor = 0;
};

}  // namespace locket
