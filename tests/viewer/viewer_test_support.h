// Helpers of the main-window tests: a card made by the recorder tool once per run, a window on
// it with a private config folder, and waiting on the event loop.
#pragma once

#include <gmock/gmock.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "files/evidence_test_support.h"
#include "files/recording_names.h"
#include "support/frame_marker.h"
#include "support/temp_dir.h"
#include "tat/card_layout.h"
#include "viewer/control_ids.h"
#include "viewer/main_window.h"
#include "viewer/video_view.h"
#include "widgets/bitmap_slider.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace locket::viewertest {

using evidence_test::MakeCard;
using evidence_test::Shell;
using QTest::qWaitFor;  // processes events until its predicate holds or the time is up
using testsupport::ReadText;
using testsupport::TempDir;

// The shared card: two recordings per category (3 s, 24 fps, two cameras in the first of each
// category), all of them listed, plus one recording too small to be listed.
inline const std::string& SharedCard() {
    static TempDir dir;
    static const std::string card = dir.path() + "/card";
    static const bool made = MakeCard(card, {"--seconds", "3", "--fps", "24", "--size", "160x120",
                                             "--rear-size", "96x64", "--min-kib", "520"}) &&
                             // Too small for the list.
                             MakeCard(card, {"--seconds", "1", "--fps", "10", "--size", "160x120",
                                             "--one", "EVENT_20250101_000000_F.tat"});
    EXPECT_TRUE(made);
    return card;
}

// Names of the listed recordings of the shared card, newest first.
inline const std::vector<std::string>& SharedCardNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> found;
        for (const char* category : {"EVENT", "REC", "PARKING", "MANUAL"}) {
            for (const auto& entry :
                 std::filesystem::directory_iterator(SharedCard() + "/" + category)) {
                if (entry.file_size() >= 512 * 1024)
                    found.push_back(entry.path().filename().string());
            }
        }
        std::sort(found.begin(), found.end(), RecordingNewerThan);
        return found;
    }();
    return names;
}

// The path of a recording of a card by its name.
inline std::string PathOn(const std::string& card, const std::string& name) {
    return card + "/" + CategoryFolder(CategoryOfName(name)) + "/" + name;
}

// A window on a card (none when empty) and its own config folder, whose config.cfg holds
// `configText` first when that is not empty; the message boxes answered with OK.
class Window {
public:
    explicit Window(const std::string& card = "", const std::string& configText = "",
                    int langId = 0x09) {
        m_configPath = m_config.path() + "/config.cfg";
        if (!configText.empty())
            std::ofstream(m_configPath) << configText;
        const ViewerOptions options{.cardFolder = card,
                                    .watchVolumes = false,
                                    .configFolder = m_config.path(),
                                    .langId = langId,
                                    .autoAnswer = QMessageBox::Ok};
        m_window = std::make_unique<CRavuraVezedaDlg>(options);
        m_window->OnInitDialog();
        m_window->show();
    }
    CRavuraVezedaDlg& operator*() { return *m_window; }
    CRavuraVezedaDlg* operator->() { return m_window.get(); }
    const std::string& ConfigPath() const { return m_configPath; }
    // Waits for the card poll to fill the list.
    bool WaitForList(int rows) {
        return qWaitFor([&] { return m_window->RowCount() == rows; });
    }

private:
    TempDir m_config;
    std::string m_configPath;
    std::unique_ptr<CRavuraVezedaDlg> m_window;
};

// A window on a card, its list filled: the shared card unless the test opens another.
class CardWindowTest : public ::testing::Test {
protected:
    void SetUp() override { OpenOn(SharedCard()); }

    void OpenOn(const std::string& card, int rows = static_cast<int>(SharedCardNames().size()),
                const std::string& configText = "") {
        window = std::make_unique<Window>(card, configText);
        ASSERT_TRUE(window->WaitForList(rows));
    }

    CRavuraVezedaDlg& w() { return **window; }

    std::unique_ptr<Window> window;
};

// Clicks a control of the window by its id.
inline void Click(CRavuraVezedaDlg& window, int id) {
    QWidget* control = window.Control(id);
    ASSERT_NE(control, nullptr) << id;
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

// The text of a label control.
inline QString Text(CRavuraVezedaDlg& window, int id) {
    return window.ControlAs<QLabel>(id)->text();
}

// Hands the window one vehicle-signals record ("B...") as if the recording had sent it.
inline void ShowSignals(CRavuraVezedaDlg& window, const std::string& record) {
    window.SensorTrack().AddTextPacket(reinterpret_cast<const uint8_t*>(record.c_str()),
                                       static_cast<int>(record.size() + 1), 0);
    QCoreApplication::sendPostedEvents();
    window.ApplySignals();
}

// The frame number marked in a picture or a view's; -1 without a picture.
inline int Marker(const QImage& picture) {
    if (picture.isNull())
        return -1;
    return ReadFrameNumber(picture.constBits(), picture.width(), picture.height(),
                           static_cast<int>(picture.bytesPerLine()), picture.depth() / 8);
}
inline int Marker(const CVideoView* view) {
    return Marker(view->Picture());
}

// The row of the first listed recording with (or without) the rear camera; -1 when none.
inline int RowWithRear(CRavuraVezedaDlg& window, bool rear) {
    for (int row = 0; row < window.RowCount(); ++row) {
        if (window.RowName(row).contains("_D") == rear)
            return row;
    }
    return -1;
}

}  // namespace locket::viewertest
