#include "viewer/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <cstdio>

#include "widgets/string_table.h"

namespace locket {

bool ApplyQtTranslation(int langId) {
    // One per application, owned by it.
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed.data();
    }
    if (langId != kLangKorean)
        return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ko"), folder)) {
        std::printf("[Viewer] qtbase_ko.qm not found in %s: Qt's buttons stay English\n",
                    folder.toUtf8().constData());
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

}  // namespace locket
