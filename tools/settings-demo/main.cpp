// locket-settings-demo SETTINGS_FILE [--korean] [--shot FILE]: the recorder settings dialog on a
// settings file (Save writes it). --shot saves the dialog to FILE once it is shown and quits
// without saving.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

#include "settings/setting_dlg.h"
#include "widgets/string_table.h"

using namespace locket;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::string path;
    std::string shot;
    int langId = 0x09;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--korean") == 0)
            langId = kLangKorean;
        else if (std::strcmp(argv[i], "--shot") == 0 && i + 1 < argc)
            shot = argv[++i];
        else
            path = argv[i];
    }
    if (path.empty()) {
        std::fprintf(stderr,
                     "usage: locket-settings-demo SETTINGS_FILE [--korean] [--shot FILE]\n");
        return 2;
    }
    CSettingDlg dlg(path, langId);
    dlg.OnInitDialog();
    if (!shot.empty()) {
        QTimer::singleShot(300, &dlg, [&] {
            const bool saved = dlg.grab().save(QString::fromStdString(shot));
            std::printf("%s %s\n", saved ? "saved" : "could not save", shot.c_str());
            dlg.reject();
        });
    }
    dlg.exec();
    return 0;
}
