// The viewer process: one viewer at a time, the main window run until it closes.
#pragma once

#include <QLockFile>

#include <memory>

#include "viewer/viewer_options.h"

namespace locket {

class CRavuraVezedaApp {
public:
    explicit CRavuraVezedaApp(ViewerOptions options);

    // False when another viewer of this user is running: nothing is shown then.
    bool InitInstance();
    // Runs the window until it closes; the exit code of the process.
    int Run();

    // The lock of the running viewer, named after the window title.
    static QString InstanceLockPath();

private:
    ViewerOptions m_options;
    std::unique_ptr<QLockFile> m_instanceLock;
};

}  // namespace locket
