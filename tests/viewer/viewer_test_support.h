// Helpers of the main-window tests: a card made by the recorder tool once per run, a window on
// it with a private config folder, and waiting on the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "files/evidence_test_support.h"
#include "support/temp_dir.h"
#include "viewer/main_window.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace locket::viewertest {

// Processes events until `done` holds or `timeoutMs` passes; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

using evidence_test::MakeCard;
using testsupport::ReadText;
using testsupport::TempDir;

// The shared card: two recordings per category (3 s, 24 fps, two cameras in the first of each
// category), all of them listed, plus one recording too small to be listed.
const std::string& SharedCard();
// Names of the listed recordings of the shared card, newest first.
const std::vector<std::string>& SharedCardNames();

struct WindowOptions {
    std::string card;        // empty: no card
    std::string configText;  // written to config.cfg first when not empty
    int langId = 0x09;
};

// A window on its own config folder; the message boxes answered with OK.
class Window {
public:
    explicit Window(const WindowOptions& options = {});
    CRavuraVezedaDlg& operator*() { return *m_window; }
    CRavuraVezedaDlg* operator->() { return m_window.get(); }
    const std::string& ConfigPath() const { return m_configPath; }
    // Waits for the card poll to fill the list.
    bool WaitForList(int rows);

private:
    TempDir m_config;
    std::string m_configPath;
    std::unique_ptr<CRavuraVezedaDlg> m_window;
};

// A window on the shared card, its list filled.
class CardWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WindowOptions options;
        options.card = SharedCard();
        window = std::make_unique<Window>(options);
        ASSERT_TRUE(window->WaitForList(static_cast<int>(SharedCardNames().size())));
    }

    CRavuraVezedaDlg& w() { return **window; }

    std::unique_ptr<Window> window;
};

// Clicks a control of the window by its id.
void Click(CRavuraVezedaDlg& window, int id);

// The text of a label control.
QString Text(CRavuraVezedaDlg& window, int id);
// Hands the window one vehicle-signals record ("B...") as if the recording had sent it.
void ShowSignals(CRavuraVezedaDlg& window, const std::string& record);

// The frame number marked in the view's picture; -1 without a picture.
int Marker(const CVideoView* view);

// The row of the first listed recording with (or without) the rear camera; -1 when none.
int RowWithRear(CRavuraVezedaDlg& window, bool rear);

}  // namespace locket::viewertest
