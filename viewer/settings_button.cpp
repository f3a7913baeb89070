// The settings button: finds the recorder's settings file on the card and opens the dialog.
#include <cstdio>

#include "platform/removable_volumes.h"
#include "settings/setting_dlg.h"
#include "settings/settings_file.h"
#include "viewer/main_window.h"
#include "widgets/string_table.h"

namespace locket {

void CRavuraVezedaDlg::OnSettingsButton() {
    if (m_exportRunning.load())
        return;
    OnPause();
    if (!OpenSettingsForCard())
        ShowMessage(PairText(string_id::kSettingsNotFound), LoadString(string_id::kTitle), false);
}

bool CRavuraVezedaDlg::OpenSettingsForCard() {
    // The card the viewer tracks first (the only one the library's settings text belongs to),
    // then the --card folder, then the other removable volumes in their fixed order.
    std::vector<std::string> roots;
    std::string tracked;
    char root[4096];
    if (TatCardRoot(m_tatHandle, m_cardDrive, root, sizeof root) > 0) {
        tracked = root;
        roots.push_back(tracked);
    }
    if (!m_options.cardFolder.empty())
        roots.push_back(m_options.cardFolder);
    if (m_options.watchVolumes) {
        CRemovableVolumes volumes;
        volumes.Refresh();
        roots.insert(roots.end(), volumes.MountPoints().begin(), volumes.MountPoints().end());
    }
    const std::string path = LocateSettingsFile(roots, tracked, m_tatHandle);
    return !path.empty() && ShowSettingsDialog(path);
}

CSettingDlg* CRavuraVezedaDlg::SettingsDialog() const {
    return m_settingsDialog.data();
}

bool CRavuraVezedaDlg::ShowSettingsDialog(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "rb"))
        std::fclose(f);
    else
        return false;
    if (m_options.autoAnswer) {
        // Tests drive the dialog while it is open: shown without a nested event loop.
        auto* dlg = new CSettingDlg(path, m_langId, this);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->SetAutoAnswer(m_options.autoAnswer);
        dlg->OnInitDialog();
        m_settingsDialog = dlg;
        dlg->open();
        return true;
    }
    CSettingDlg dlg(path, m_langId, this);
    dlg.OnInitDialog();
    m_settingsDialog = &dlg;
    dlg.exec();
    return true;
}

}  // namespace locket
