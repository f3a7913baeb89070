#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "support/headless_qt.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::UseHeadlessQt();
    // Map tiles are cached under a folder of this run only.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
