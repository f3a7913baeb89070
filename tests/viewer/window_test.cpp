// The main window: start-up, its own settings file, language, one viewer at a time, the card
// poll, the recording list and the settings button.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "platform/private_profile.h"
#include "settings/setting_dlg.h"
#include "tat/card_layout.h"
#include "viewer/progress_dlg.h"
#include "viewer/viewer_app.h"
#include "viewer_test_support.h"
#include "widgets/skin_button.h"

namespace locket::viewertest {
namespace {

TEST(ViewerStart, ConfigValuesAreRestoredCheckedAndSaved) {
    struct Case {
        const char* file;  // nullptr: no config.cfg
        int brightness, volume, gain;
    };
    const Case cases[] = {
        {nullptr, 0, 50, 32767},
        {"[config]\r\nbrightness=3\r\nvolume=0\r\n", 3, 0, 0},
        {"[config]\nvolume=99\n", 0, 99, 64879},
        // Out of range or not a number: the defaults, never the stored value.
        {"[config]\nbrightness=40\nvolume=500\n", 0, 50, 32767},
        {"[config]\nbrightness=-6\nvolume=abc\n", 0, 50, 32767},
    };
    for (const Case& c : cases) {
        Window window("", c.file ? c.file : "");
        SCOPED_TRACE(c.file ? c.file : "(none)");
        EXPECT_EQ(window->ControlAs<CBitmapSlider>(ctl::kBrightSlider)->GetPos(), c.brightness);
        EXPECT_EQ(window->ControlAs<CBitmapSlider>(ctl::kVolumeSlider)->GetPos(), c.volume);
        EXPECT_EQ(window->WaveBox().GetVolume(), c.gain);
        // A stored volume of 0 is silence, not mute.
        EXPECT_FALSE(window->ControlAs<CxSkinButton>(ctl::kMute)->GetCheck());
        EXPECT_TRUE(std::filesystem::exists(window.ConfigPath()));
        // The signal panel has its place before anything is played.
        EXPECT_EQ(window->Control(ctl::kTurnLeft)->geometry(), QRect(32, 523, 43, 43));
        window->SaveViewerConfig();
        const std::string saved = ReadText(window.ConfigPath());
        EXPECT_NE(saved.find("brightness=" + std::to_string(c.brightness)), std::string::npos)
            << saved;
        EXPECT_NE(saved.find("volume=" + std::to_string(c.volume)), std::string::npos) << saved;
    }
}

TEST(ViewerStart, TextsFollowTheLanguageQuitCanBeDeclinedAndASecondViewerDoesNotStart) {
    struct Case {
        int langId;
        const char* question;
        const char* typeHeader;
        const char* cancel;
        const char* yes;
    };
    const Case cases[] = {
        {0x12, "종료 하시겠습니까?", "종류", "취소", "예(&Y)"},
        {0x09, "Are you sure you want to quit?", "Type", "Cancel", "&Yes"},
    };
    QImage categoryButtons[2];
    for (const Case& c : cases) {
        Window window("", "", c.langId);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Brindle Road Locket KX2"));
        auto* list = window->ControlAs<QTreeWidget>(ctl::kList);
        EXPECT_EQ(list->headerItem()->text(0), QString::fromUtf8(c.typeHeader));
        EXPECT_EQ(window->ProgressDlg()->findChild<QPushButton*>()->text(),
                  QString::fromUtf8(c.cancel));
        // Qt's own buttons: its base translation in Korean only.
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes);
        EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8(c.yes));
        // The category buttons carry their words in the window's language.
        categoryButtons[&c - cases] = window->Control(ctl::kCatEvent)->grab().toImage();

        // The settings dialog, the export's progress window and the message boxes are dark like
        // the window, not in the light default style.
        window->SetAutoAnswer(0);
        QPalette boxPalette;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxPalette = shown->palette();
                shown->accept();
            }
        });
        closer.start(20);
        // Nothing ticked: the message box that asks for a recording.
        Click(*window, ctl::kDownload);
        closer.stop();
        const CSettingDlg settings("/nonexistent/blackbox.cfg", c.langId);
        const std::pair<const char*, QPalette> palettes[] = {
            {"message box", boxPalette},
            {"progress window", window->ProgressDlg()->palette()},
            {"settings dialog", settings.palette()}};
        for (const auto& [name, palette] : palettes) {
            SCOPED_TRACE(name);
            for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
                EXPECT_LT(palette.color(role).lightness(), 64) << role;
            for (QPalette::ColorRole role :
                 {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                EXPECT_GT(palette.color(role).lightness(), 160) << role;
        }

        window->SetAutoAnswer(QMessageBox::No);
        Click(*window, ctl::kClose);
        EXPECT_EQ(window->LastMessage(), QString::fromUtf8(c.question));
        // No keeps the window, stopped, and still watching for the card.
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->IsTimerRunning(ctl::kPollTimer));
        EXPECT_FALSE(window->IsTimerRunning(ctl::kRefreshTimer));
        window->SetAutoAnswer(QMessageBox::Yes);
        Click(*window, ctl::kClose);
        EXPECT_FALSE(window->isVisible());
    }
    EXPECT_NE(categoryButtons[0], categoryButtons[1]);

    CRavuraVezedaApp first({});
    ASSERT_TRUE(first.InitInstance());
    EXPECT_FALSE(CRavuraVezedaApp({}).InitInstance());
}

TEST(SettingsButton, OpensTheCardsFileRestoredFromTheCardWhenMissingAndSaysWhenThereIsNone) {
    TempDir dir;
    const std::string card = dir.path() + "/card";
    ASSERT_TRUE(CreateCardLayout(card));
    ASSERT_TRUE(testsupport::WriteText(
        card + "/" + kSettingsCopyFile,
        "[blackbox]\nmic_in=0\n[capacity]\nconst=40\nevent=30\npark=20\nmanual=10\n"));
    const std::string file = std::filesystem::canonical(card).string() + "/SETTING/blackbox.cfg";

    Window window(card);
    ASSERT_TRUE(qWaitFor([&] { return window->CardDrive() != 0; }));
    Click(*window, ctl::kSettings);
    CSettingDlg* dlg = window->SettingsDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->SettingsPath(), file) << "restored onto the card from its settings text";
    EXPECT_EQ(dlg->ControlAs<QComboBox>(setting_ctl::kDrivingList)->currentText(), "40");
    dlg->ControlAs<QCheckBox>(setting_ctl::kMicOn)->click();
    dlg->ControlAs<QPushButton>(setting_ctl::kSave)->click();
    ASSERT_TRUE(qWaitFor([&] { return window->SettingsDialog() == nullptr; }));
    EXPECT_EQ(GetPrivateProfileString("blackbox", "mic_in", "", 8, file), "1");

    // F3 opens the file now present; with neither file nor settings text, the message.
    window->HandleKey(Qt::Key_F3);
    ASSERT_NE(window->SettingsDialog(), nullptr);
    window->SettingsDialog()->reject();
    ASSERT_TRUE(qWaitFor([&] { return window->SettingsDialog() == nullptr; }));
    EXPECT_EQ(window->LastMessage(), "");
    std::filesystem::remove(file);
    std::filesystem::remove(card + "/" + kSettingsCopyFile);
    Click(*window, ctl::kSettings);
    EXPECT_EQ(window->SettingsDialog(), nullptr);
    EXPECT_EQ(window->LastMessage(), "Blackbox info not found.\nPlease check location of drive");
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace locket::viewertest
