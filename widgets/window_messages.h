// The window messages the viewer posts to itself, as Qt events with the same numbers.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <cstdint>

namespace locket {

// Every number lies in Qt's user range (QEvent::User .. QEvent::MaxUser).
// wParam 0, lParam 0: the player reached the end of the recording.
inline constexpr QEvent::Type WM_MEDIA_END = static_cast<QEvent::Type>(0x7E8);
// wParam 0, lParam 0: new vehicle-signal values wait to be shown.
inline constexpr QEvent::Type WM_SIGNALS_UPDATED = static_cast<QEvent::Type>(0x464);
// Sent to the other members of a radio group: uncheck yourself.
inline constexpr QEvent::Type WM_SKIN_UNCHECK = static_cast<QEvent::Type>(0x500);
// wParam the slider's control id, lParam the new position: the thumb is being dragged.
inline constexpr QEvent::Type WM_BITMAPSLIDER_MOVING = static_cast<QEvent::Type>(0x28D1);
// wParam the slider's control id, lParam the position: a drag ended or a key moved it.
inline constexpr QEvent::Type WM_BITMAPSLIDER_MOVED = static_cast<QEvent::Type>(0x28D2);

class CWindowMessage : public QEvent {
public:
    CWindowMessage(QEvent::Type type, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam) {}

    std::intptr_t WParam() const { return m_wParam; }
    std::intptr_t LParam() const { return m_lParam; }

private:
    std::intptr_t m_wParam;
    std::intptr_t m_lParam;
};

// Queues the message for the receiver's thread; Qt drops it if the receiver dies first.
// False for a null receiver.
inline bool PostWindowMessage(QObject* receiver, QEvent::Type type, std::intptr_t wParam = 0,
                              std::intptr_t lParam = 0) {
    if (!receiver)
        return false;
    QCoreApplication::postEvent(receiver, new CWindowMessage(type, wParam, lParam));
    return true;
}

}  // namespace locket
