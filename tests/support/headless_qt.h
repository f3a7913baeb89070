// Headless defaults for a Qt test program run by hand; ctest's environment sets them too.
#pragma once

#include <QCoreApplication>

namespace testsupport {

inline void UseHeadlessQt() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // tests run as root in CI
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace testsupport
