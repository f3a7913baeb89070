#include "widgets/window_palette.h"

#include <QColor>

namespace locket {

QPalette WindowPalette() {
    // The colours of the skin's panels, frames, captions and its orange.
    const QColor panel(0x1d, 0x20, 0x25);
    const QColor field(0x11, 0x13, 0x17);
    const QColor button(0x28, 0x2c, 0x33);
    const QColor text(0xd6, 0xda, 0xe0);
    const QColor dimmed(0x5b, 0x63, 0x6e);
    const QColor orange(0xf7, 0x58, 0x2e);

    QPalette palette(button, panel);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, field);
    palette.setColor(QPalette::AlternateBase, panel);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0x3a, 0x40, 0x49));
    palette.setColor(QPalette::Midlight, QColor(0x32, 0x37, 0x40));
    palette.setColor(QPalette::Mid, QColor(0x23, 0x26, 0x2c));
    palette.setColor(QPalette::Dark, QColor(0x14, 0x16, 0x19));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, orange);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, orange);
    palette.setColor(QPalette::ToolTipBase, button);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, dimmed);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimmed);
    return palette;
}

}  // namespace locket
