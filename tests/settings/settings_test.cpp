#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <filesystem>
#include <functional>

#include "platform/atomic_file.h"
#include "platform/private_profile.h"
#include "settings/setting_dlg.h"
#include "settings/settings_file.h"
#include "settings/settings_form.h"
#include "tat/card_layout.h"
#include "tat/tat_test_util.h"
#include "widgets/string_table.h"

using namespace locket;
namespace fs = std::filesystem;
namespace c = locket::setting_ctl;

namespace {

using locket::testsupport::ReadText;
using locket::testsupport::WriteText;

std::string Value(const std::string& path, const char* section, const char* key) {
    return GetPrivateProfileString(section, key, "<missing>", 64, path);
}

// The recorder's file on a fresh card, with a comment and a key the viewer does not know.
const char kRecorderFile[] =
    "[blackbox]\r\nmodel=LOCKET KX2\r\nversion=1.2.07\r\ndim_front=hd\r\npower_off_vlt=11800\r\n"
    "mic_in=1\r\nvoice_out=1\r\nacc_level=5\r\nmotion_level=1\r\n; kept by the recorder\r\n"
    "gps_log=1\r\ntat_update=0\r\n[capacity]\r\nconst=50\r\nevent=20\r\npark=20\r\nmanual=10\r\n"
    "[time]\r\nset=0\r\nyear=2019\r\nmonth=5\r\nday=6\r\nhour=7\r\nmin=8\r\nsec=9\r\n";

// That file with each line passed through `edit`.
std::string RecorderText(const std::function<std::string(const std::string&)>& edit = {}) {
    std::string text, rest = kRecorderFile;
    for (size_t end; (end = rest.find("\r\n")) != std::string::npos; rest.erase(0, end + 2))
        text += (edit ? edit(rest.substr(0, end)) : rest.substr(0, end)) + "\r\n";
    return text;
}

// A form that saves: 40/30/20/10, 12.1 V, sound on, guidance off, both sliders normal.
SettingsForm ValidForm() {
    SettingsForm f;
    f.driving = 3, f.event = 2, f.parking = 1, f.manual = 0, f.voltage = 2, f.micOn = true;
    f.lastYear = 2026, f.year = 12;  // 2025
    f.month = 1, f.day = 2, f.hour = 3, f.minute = 4, f.second = 5;
    return f;
}

constexpr int kEnglish = 0x09;

// What a list or a label shows.
QString Text(const CSettingDlg& dlg, int id) {
    if (auto* list = dlg.ControlAs<QComboBox>(id))
        return list->currentText();
    auto* label = dlg.ControlAs<QLabel>(id);
    return label ? label->text() : QStringLiteral("<no label>");
}

void Click(CSettingDlg& dlg, int id) {
    QWidget* control = dlg.Control(id);
    ASSERT_NE(control, nullptr) << id;
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(4, control->height() / 2));
}

void Choose(CSettingDlg& dlg, int id, const char* entry) {
    auto* list = dlg.ControlAs<QComboBox>(id);
    const int index = list->findText(QString::fromLatin1(entry));
    ASSERT_GE(index, 0) << entry;
    list->setCurrentIndex(index);
}

// Opens the dialog on 2025-03-04 13:14:15, its messages answered at once.
void Open(CSettingDlg& dlg) {
    dlg.SetAutoAnswer(1);
    dlg.OnInitDialog({2025, 3, 4, 13, 14, 15});
    dlg.show();
}

// Each test starts from the recorder's file on the card.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { WriteText(m_path, kRecorderFile); }
    void TearDown() override { SetReplaceFaultHookForTest(nullptr); }
    std::string PathOf(const char* name) const { return m_temp.path() + "/" + name; }
    test::TempFolder m_temp;
    const std::string m_path = PathOf("blackbox.cfg");
};
using SettingDlgTest = SettingsFileTest;

}  // namespace

TEST_F(SettingsFileTest, SaveWritesTheRecordersOrderOnceKeepsEveryOtherLineAndRefusesBadForms) {
    // An empty file: the order of the writes puts [blackbox] first, then [capacity], then [time].
    const std::string empty = PathOf("empty.cfg");
    WriteText(empty, "");
    SettingsForm form = ValidForm();
    form.timeSync = true;
    SettingsField field{};
    ASSERT_EQ(SaveSettingsForm(form, empty, &field), SaveOutcome::kSaved);
    EXPECT_EQ(ReadText(empty),
              "[blackbox]\r\ntat_update=1\r\nacc_level=3\r\nmotion_level=3\r\nmic_in=1\r\n"
              "voice_out=0\r\npower_off_vlt=12100\r\n\r\n"
              "[capacity]\r\nconst=40\r\nevent=30\r\npark=20\r\nmanual=10\r\n\r\n"
              "[time]\r\nset=1\r\nyear=2025\r\nmonth=2\r\nday=3\r\nhour=4\r\nmin=4\r\nsec=5\r\n");

    // A recorder's file: the written keys change in place, every other byte stays, and the
    // file is replaced once.
    static int replacements;
    replacements = 0;
    SetReplaceFaultHookForTest([](const std::string&) { return ++replacements > 0; });
    ASSERT_EQ(SaveSettingsForm(ValidForm(), m_path, &field), SaveOutcome::kSaved);
    EXPECT_EQ(replacements, 1);
    const std::map<std::string, std::string> changed = {
        {"tat_update=0", "tat_update=1"},
        {"const=50", "const=40"},
        {"event=20", "event=30"},
        {"acc_level=5", "acc_level=3"},
        {"motion_level=1", "motion_level=3"},
        {"voice_out=1", "voice_out=0"},
        {"power_off_vlt=11800", "power_off_vlt=12100"}};
    EXPECT_EQ(ReadText(m_path), RecorderText([&](const std::string& line) {
                  auto it = changed.find(line);
                  return it == changed.end() ? line : it->second;
              }));

    // Refused saves write only the change mark.
    using F = SettingsField;
    struct Case {
        const char* what;
        std::function<void(SettingsForm&)> change;
        SaveOutcome outcome;
        F field = F::kSecond;  // shares that are all chosen name no field
    };
    const Case cases[] = {
        {"40/30/20/20", [](SettingsForm& f) { f.manual = 1; }, SaveOutcome::kSharesNot100},
        {"30/30/20/10", [](SettingsForm& f) { f.driving = 2; }, SaveOutcome::kSharesNot100},
        {"parking share unselected", [](SettingsForm& f) { f.parking = -1; },
         SaveOutcome::kFieldNotSelected, F::kParking},
        {"manual share unselected", [](SettingsForm& f) { f.manual = 7; },
         SaveOutcome::kFieldNotSelected, F::kManual},
        {"voltage unselected", [](SettingsForm& f) { f.voltage = -1; },
         SaveOutcome::kFieldNotSelected, F::kBattery},
        {"hour unselected with time sync", [](SettingsForm& f) { f.timeSync = true, f.hour = -1; },
         SaveOutcome::kFieldNotSelected, F::kHour},
        {"year beyond the list", [](SettingsForm& f) { f.timeSync = true, f.year = 14; },
         SaveOutcome::kFieldNotSelected, F::kYear},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(m_path, RecorderText());
        SettingsForm form = ValidForm();
        c.change(form);
        field = F::kSecond;
        EXPECT_EQ(SaveSettingsForm(form, m_path, &field), c.outcome);
        EXPECT_EQ(field, c.field);
        EXPECT_EQ(ReadText(m_path), RecorderText([](const std::string& line) {
                      return line == "tat_update=0" ? std::string("tat_update=1") : line;
                  }));
    }
}

TEST_F(SettingsFileTest, ValuesLoadIntoTheListsAndSaveAsTheRecorderReadsThem) {
    struct Case {
        const char* key;    // blackbox or capacity key written into the recorder's file
        const char* value;  // its value there
        int loaded;         // what the form shows (list index, slider position or flag)
        const char* saved;  // what the save writes back
    };
    const Case cases[] = {
        {"power_off_vlt", "11500", 0, "11500"},
        {"power_off_vlt", "11800", 1, "11800"},
        {"power_off_vlt", "12000", 1, "11800"},
        {"power_off_vlt", "0", 2, "12100"},
        {"const", "55", 4, "50"},
        {"acc_level", "1", 1, "1"},
        {"motion_level", "9", 2, "3"},
        {"mic_in", "7", 1, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        WriteText(m_path, RecorderText([&](const std::string& line) {
                      return line.starts_with(std::string(c.key) + "=")
                                 ? c.key + std::string("=") + c.value
                                 : line;
                  }));
        SettingsForm form = LoadSettingsForm(m_path, {2025, 6, 1, 12, 0, 0});
        const std::string key = c.key;
        const int shown = key == "power_off_vlt" ? form.voltage
                          : key == "const"       ? form.driving
                          : key == "acc_level"   ? form.shockPos
                          : key == "mic_in"      ? int(form.micOn)
                                                 : form.motionPos;
        EXPECT_EQ(shown, c.loaded);
        ASSERT_EQ(SaveSettingsForm(form, m_path, nullptr), SaveOutcome::kSaved);
        EXPECT_EQ(Value(m_path, key == "const" ? "capacity" : "blackbox", c.key), c.saved);
    }

    // Values a list does not hold leave it without a selection.
    WriteText(m_path, "[blackbox]\r\npower_off_vlt=11000\r\n[capacity]\r\nconst=80\r\nevent=5\r\n");
    SettingsForm form = LoadSettingsForm(m_path, {2025, 6, 32, 0, 30, 0});
    EXPECT_EQ(form.voltage, -1);
    WriteText(m_path, "[blackbox]\r\npower_off_vlt=13000\r\n");
    EXPECT_EQ(LoadSettingsForm(m_path, {}).voltage, -1);
    // The hour list starts at 1.
    EXPECT_EQ((std::vector{form.driving, form.event, form.day, form.hour}), std::vector(4, -1));
    // Missing keys: bike mode on, sound and guidance off, version and model "0".
    EXPECT_TRUE(form.bikeMode);
    EXPECT_FALSE(form.micOn);
    EXPECT_EQ(form.version, "0");

    // Version and model are cut to 9 and 19 characters.
    WriteText(m_path, "[blackbox]\r\nversion=1.2.07-beta3\r\nmodel=LOCKET KX2 DUAL CHANNEL\r\n");
    form = LoadSettingsForm(m_path, {});
    EXPECT_EQ(form.version, "1.2.07-be");
    EXPECT_EQ(form.model, "LOCKET KX2 DUAL CHA");

    // The year list reaches the PC's year, so today can be saved.
    const ClockTime pc = PcLocalTime();
    EXPECT_EQ(QDate::currentDate(), QDate(pc.year, pc.month, pc.day));
    for (const ClockTime now : {pc, ClockTime{2031, 12, 31, 24 - 1, 59, 59}}) {
        SCOPED_TRACE(now.year);
        WriteText(m_path, RecorderText());
        form = LoadSettingsForm(m_path, now);
        const std::vector<std::string> years = YearEntries(now.year);
        EXPECT_EQ(years.back(), std::to_string(std::max(2024, now.year)));
        ASSERT_GE(form.year, 0);
        EXPECT_EQ(years[size_t(form.year)], std::to_string(now.year));
        form.timeSync = true;
        if (now.hour == 0)
            form.hour = 0;  // the list has no midnight hour; pick 1
        ASSERT_EQ(SaveSettingsForm(form, m_path, nullptr), SaveOutcome::kSaved);
        EXPECT_EQ(Value(m_path, "time", "year"), std::to_string(now.year));
    }
}

TEST_F(SettingsFileTest, RestoreLandsOnlyOnTheTrackedCardWithCrLfLineEnds) {
    // Two cards: the tracked one without blackbox.cfg, a second one (walked first) with an
    // empty settings folder spelt in lower case.
    const std::string tracked = PathOf("tracked");
    const std::string second = PathOf("second");
    ASSERT_TRUE(CreateCardLayout(tracked));
    ASSERT_TRUE(CreateCardLayout(second));
    fs::rename(second + "/SETTING", second + "/setting");
    TatHandle handle = TatCreate();
    TatSetMountsFile(handle, "");
    ASSERT_NE(TatRegisterCardFolder(handle, tracked.c_str()), 0);

    // No settings text on the card: nothing found, nothing written anywhere.
    EXPECT_EQ(LocateSettingsFile({second, tracked}, tracked, handle), "");
    EXPECT_FALSE(fs::exists(tracked + "/SETTING/blackbox.cfg"));

    for (auto [delivered, restored] :
         {std::pair{"[blackbox]\r\nmic_in=1\r\n", "[blackbox]\r\nmic_in=1\r\n"},
          {"[blackbox]\nmic_in=1\n[time]\r\r\nset=0",
           "[blackbox]\r\nmic_in=1\r\n[time]\r\nset=0"}}) {
        SCOPED_TRACE(delivered);
        fs::remove(tracked + "/SETTING/blackbox.cfg");
        WriteText(tracked + "/" + kSettingsCopyFile, delivered);
        const std::string found = LocateSettingsFile({second, tracked}, tracked, handle);
        EXPECT_EQ(found, tracked + "/SETTING/blackbox.cfg");
        EXPECT_EQ(ReadText(found), restored);
        EXPECT_TRUE(fs::is_empty(second + "/setting"));
    }

    // A file present on the second card in other case is found first, and nothing is restored.
    WriteText(second + "/setting/BlackBox.CFG", "[blackbox]\r\n");
    fs::remove(tracked + "/SETTING/blackbox.cfg");
    EXPECT_EQ(LocateSettingsFile({second, tracked}, tracked, handle),
              second + "/setting/BlackBox.CFG");
    EXPECT_FALSE(fs::exists(tracked + "/SETTING/blackbox.cfg"));
    // A card without a settings folder cannot be restored onto.
    fs::remove_all(tracked + "/SETTING");
    EXPECT_EQ(LocateSettingsFile({tracked}, tracked, handle), "");
    TatDestroy(handle);
}

TEST_F(SettingDlgTest, LoadChangeSaveAndReopenShowsTheSavedValues) {
    CSettingDlg dlg(m_path, kEnglish);
    Open(dlg);
    EXPECT_EQ(dlg.windowTitle(), "BlackBox Configuration");
    EXPECT_EQ(dlg.palette().color(QPalette::Highlight), QColor(0xf7, 0x58, 0x2e)) << "orange";
    EXPECT_EQ(dlg.ControlAs<QGroupBox>(c::kStorageGroup)->title(), "Storage (%)");
    // clang-format off
    const std::pair<int, const char*> shown[] = {
        {c::kDrivingList, "50"}, {c::kEventList, "20"}, {c::kParkingList, "20"},
        {c::kManualList, "10"}, {c::kVoltageList, "11.8v/23.6v"}, {c::kYearList, "2025"},
        {c::kMonthList, "3"}, {c::kDayList, "4"}, {c::kHourList, "13"},
        {c::kMinuteList, "14"}, {c::kSecondList, "15"}, {c::kUnitYear + 4, "m"},
        {c::kStorageNote, "Notice) Total Size = 100%"}, {c::kFirmware, "1.2.07"},
        {c::kModel, "LOCKET KX2"}, {c::kViewerVersion, "2.5.7"}};
    // clang-format on
    for (const auto& [id, text] : shown)
        EXPECT_EQ(Text(dlg, id), text) << id;
    EXPECT_EQ(dlg.ControlAs<QSlider>(c::kShockSlider)->value(), 3);
    EXPECT_EQ(dlg.ControlAs<QSlider>(c::kMotionSlider)->value(), 1);
    EXPECT_FALSE(dlg.Control(c::kYearList)->isEnabled());

    // The pairs are two-way switches: a second click on the ticked box keeps it ticked.
    Click(dlg, c::kMicOn);
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(c::kMicOn)->isChecked());
    Click(dlg, c::kMicOff);
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(c::kMicOff)->isChecked());
    Click(dlg, c::kBikeMode);
    EXPECT_FALSE(dlg.Control(c::kShockSlider)->isEnabled());
    Click(dlg, c::kTimeSync);
    EXPECT_TRUE(dlg.Control(c::kYearList)->isEnabled());
    Choose(dlg, c::kDrivingList, "40");
    Choose(dlg, c::kEventList, "30");
    Choose(dlg, c::kVoltageList, "12.4v/24.8v");
    QTest::keyClick(dlg.Control(c::kMotionSlider), Qt::Key_End);
    Choose(dlg, c::kHourList, "1");
    Click(dlg, c::kSave);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    // clang-format off
    const char* const saved[][3] = {
        {"capacity", "const", "40"}, {"capacity", "event", "30"}, {"capacity", "park", "20"},
        {"capacity", "manual", "10"}, {"blackbox", "acc_level", "0"},
        {"blackbox", "motion_level", "5"}, {"blackbox", "mic_in", "0"},
        {"blackbox", "voice_out", "1"}, {"blackbox", "power_off_vlt", "12400"},
        {"time", "set", "1"}, {"time", "year", "2025"}, {"time", "hour", "1"}, {"time", "sec", "15"}};
    // clang-format on
    for (const auto& [section, key, value] : saved)
        EXPECT_EQ(Value(m_path, section, key), value) << key;

    // Reopened, in Korean: the saved values are what the dialog shows.
    CSettingDlg korean(m_path, kLangKorean);
    Open(korean);
    EXPECT_EQ(korean.windowTitle(), "KX2 환경설정");
    EXPECT_EQ(korean.ControlAs<QPushButton>(c::kSave)->text(), "저장");
    EXPECT_EQ(Text(korean, c::kVoltageList), "12.4v/24.8v") << "the list's last entry";
    EXPECT_TRUE(korean.ControlAs<QCheckBox>(c::kMicOff)->isChecked());
    EXPECT_TRUE(korean.ControlAs<QCheckBox>(c::kBikeMode)->isChecked());
    EXPECT_FALSE(korean.Control(c::kShockSlider)->isEnabled());
    EXPECT_EQ(korean.ControlAs<QSlider>(c::kMotionSlider)->value(), 3);
}

TEST_F(SettingDlgTest, ARefusedOrFailedSaveShowsWhyAndKeepsTheDialogOpen) {
    struct Case {
        const char* what;
        void (*change)(CSettingDlg&);
        const char* message;
    };
    const Case cases[] = {
        {"shares add up to 110", [](CSettingDlg& d) { Choose(d, c::kDrivingList, "60"); },
         "Please check storage percetege.\r\nTotal sum should equal 100%"},
        {"no hour at midnight",
         [](CSettingDlg& d) {
             Click(d, c::kTimeSync);
             d.ControlAs<QComboBox>(c::kHourList)->setCurrentIndex(-1);
         },
         "Not saved: no value is selected for Hour.\nPlease choose a value and save again."},
        {"card refuses the file",
         [](CSettingDlg&) { SetReplaceFaultHookForTest([](const std::string&) { return false; }); },
         "The settings could not be saved.\nThe memory card may have been removed or be "
         "write-protected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(m_path, kRecorderFile);
        CSettingDlg dlg(m_path, kEnglish);
        Open(dlg);
        c.change(dlg);
        Click(dlg, c::kSave);
        EXPECT_EQ(dlg.LastMessage(), c.message);
        EXPECT_TRUE(dlg.isVisible());
        // Nothing of the form reached the file.
        EXPECT_EQ(Value(m_path, "capacity", "const"), "50");
        EXPECT_EQ(Value(m_path, "time", "set"), "0");
        SetReplaceFaultHookForTest(nullptr);
    }
}
