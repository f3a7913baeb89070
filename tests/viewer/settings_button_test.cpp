#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/private_profile.h"
#include "settings/setting_dlg.h"
#include "tat/card_layout.h"
#include "viewer/control_ids.h"
#include "viewer_test_support.h"

using namespace locket;
using namespace locket::viewertest;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(SettingsButton, OpensTheCardsFileRestoredFromTheCardWhenMissingAndSaysWhenThereIsNone) {
    TempDir dir;
    const std::string card = dir.path() + "/card";
    ASSERT_TRUE(CreateCardLayout(card));
    std::ofstream(card + "/" + kSettingsCopyFile, std::ios::binary)
        << "[blackbox]\nmic_in=0\n[capacity]\nconst=40\nevent=30\npark=20\nmanual=10\n";
    const std::string file = fs::canonical(card).string() + "/SETTING/blackbox.cfg";

    WindowOptions options;
    options.card = card;
    Window window(options);
    ASSERT_TRUE(WaitFor([&] { return window->CardDrive() != 0; }));
    Click(*window, ctl::kSettings);
    CSettingDlg* dlg = window->SettingsDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->SettingsPath(), file);
    EXPECT_EQ(ReadText(file),
              "[blackbox]\r\nmic_in=0\r\n[capacity]\r\nconst=40\r\nevent=30\r\npark=20\r\nmanual="
              "10\r\n");
    EXPECT_EQ(dlg->ControlAs<QComboBox>(setting_ctl::kDrivingList)->currentText(), "40");
    dlg->ControlAs<QCheckBox>(setting_ctl::kMicOn)->click();
    dlg->ControlAs<QPushButton>(setting_ctl::kSave)->click();
    ASSERT_TRUE(WaitFor([&] { return window->SettingsDialog() == nullptr; }));
    EXPECT_EQ(GetPrivateProfileString("blackbox", "mic_in", "", 8, file), "1");

    // F3 opens the file now present; with neither file nor settings text, the message.
    window->HandleKey(Qt::Key_F3);
    ASSERT_NE(window->SettingsDialog(), nullptr);
    window->SettingsDialog()->reject();
    ASSERT_TRUE(WaitFor([&] { return window->SettingsDialog() == nullptr; }));
    EXPECT_EQ(window->LastMessage(), "");
    fs::remove(file);
    fs::remove(card + "/" + kSettingsCopyFile);
    Click(*window, ctl::kSettings);
    EXPECT_EQ(window->SettingsDialog(), nullptr);
    EXPECT_EQ(window->LastMessage(), "Blackbox info not found.\nPlease check location of drive");
    EXPECT_FALSE(fs::exists(file));
}
