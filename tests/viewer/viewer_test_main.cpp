#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include <algorithm>
#include <fstream>

#include "files/recording_names.h"
#include "support/frame_marker.h"
#include "support/headless_qt.h"
#include "viewer/video_view.h"
#include "viewer_test_support.h"

namespace locket::viewertest {

const std::string& SharedCard() {
    static TempDir dir;
    static const bool made = [] {
        const std::string card = dir.path() + "/card";
        return MakeCard(card, {"--seconds", "3", "--fps", "24", "--size", "160x120", "--rear-size",
                               "96x64", "--min-kib", "520"}) &&
               // Too small for the list.
               MakeCard(card, {"--seconds", "1", "--fps", "10", "--size", "160x120", "--one",
                               "EVENT_20250101_000000_F.tat"});
    }();
    static const std::string card = dir.path() + "/card";
    EXPECT_TRUE(made);
    return card;
}

const std::vector<std::string>& SharedCardNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> found;
        for (const char* category : {"EVENT", "REC", "PARKING", "MANUAL"}) {
            for (const auto& entry :
                 std::filesystem::directory_iterator(SharedCard() + "/" + category)) {
                if (entry.file_size() >= 512 * 1024)
                    found.push_back(entry.path().filename().string());
            }
        }
        std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
            return RecordingNewerThan(a, b);
        });
        return found;
    }();
    return names;
}

Window::Window(const WindowOptions& options) {
    m_configPath = m_config.path() + "/config.cfg";
    if (!options.configText.empty())
        std::ofstream(m_configPath) << options.configText;
    ViewerOptions viewer;
    viewer.cardFolder = options.card;
    viewer.watchVolumes = false;
    viewer.configFolder = m_config.path();
    viewer.langId = options.langId;
    viewer.autoAnswer = QMessageBox::Ok;
    m_window = std::make_unique<CRavuraVezedaDlg>(viewer);
    m_window->OnInitDialog();
    m_window->show();
}

bool Window::WaitForList(int rows) {
    return WaitFor([&] { return m_window->RowCount() == rows; }, 5000);
}

void Click(CRavuraVezedaDlg& window, int id) {
    QWidget* control = window.Control(id);
    ASSERT_NE(control, nullptr) << id;
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

QString Text(CRavuraVezedaDlg& window, int id) {
    return window.ControlAs<QLabel>(id)->text();
}

void ShowSignals(CRavuraVezedaDlg& window, const std::string& record) {
    window.SensorTrack().AddTextPacket(reinterpret_cast<const uint8_t*>(record.c_str()),
                                       static_cast<int>(record.size() + 1), 0);
    QCoreApplication::sendPostedEvents();
    window.ApplySignals();
}

int Marker(const CVideoView* view) {
    const QImage picture = view->Picture();
    if (picture.isNull())
        return -1;
    return ReadFrameNumber(picture.constBits(), picture.width(), picture.height(),
                           static_cast<int>(picture.bytesPerLine()), picture.depth() / 8);
}

int RowWithRear(CRavuraVezedaDlg& window, bool rear) {
    for (int row = 0; row < window.RowCount(); ++row) {
        if (window.RowName(row).contains("_D") == rear)
            return row;
    }
    return -1;
}

}  // namespace locket::viewertest

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::UseHeadlessQt();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
