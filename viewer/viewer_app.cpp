#include "viewer/viewer_app.h"

#include <QDir>
#include <QStandardPaths>

#include "viewer/main_window.h"
#include "widgets/string_table.h"

namespace locket {

CRavuraVezedaApp::CRavuraVezedaApp(ViewerOptions options) : m_options(std::move(options)) {}

QString CRavuraVezedaApp::InstanceLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QLatin1Char('/') + LoadString(string_id::kTitle) + QStringLiteral(".lock");
}

bool CRavuraVezedaApp::InitInstance() {
    m_instanceLock = std::make_unique<QLockFile>(InstanceLockPath());
    // A lock left by a crashed viewer is taken over; a live one means a viewer is running.
    m_instanceLock->setStaleLockTime(0);
    if (!m_instanceLock->tryLock(0)) {
        m_instanceLock.reset();
        return false;
    }
    return true;
}

int CRavuraVezedaApp::Run() {
    CRavuraVezedaDlg dialog(m_options);
    dialog.OnInitDialog();
    dialog.show();
    dialog.exec();
    return 0;
}

}  // namespace locket
