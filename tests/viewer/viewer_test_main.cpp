#include <QApplication>

#include "support/headless_qt.h"
#include "viewer_test_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::UseHeadlessQt();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
