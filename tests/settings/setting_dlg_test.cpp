#include "settings/setting_dlg.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <fstream>

#include "platform/atomic_file.h"
#include "platform/private_profile.h"
#include "support/headless_qt.h"
#include "tat/tat_test_util.h"
#include "widgets/string_table.h"

using namespace locket;
namespace c = locket::setting_ctl;

namespace {

constexpr int kEnglish = 0x09;

const char kRecorderFile[] =
    "[blackbox]\r\nmodel=LOCKET KX2\r\nversion=1.2.07\r\ndim_front=hd\r\npower_off_vlt=11800\r\n"
    "mic_in=1\r\nvoice_out=1\r\nacc_level=5\r\nmotion_level=1\r\ntat_update=0\r\n"
    "[capacity]\r\nconst=50\r\nevent=20\r\npark=20\r\nmanual=10\r\n"
    "[time]\r\nset=0\r\nyear=2019\r\nmonth=5\r\nday=6\r\nhour=7\r\nmin=8\r\nsec=9\r\n";

std::string Value(const std::string& path, const char* section, const char* key) {
    return GetPrivateProfileString(section, key, "<missing>", 64, path);
}

QString ListText(const CSettingDlg& dlg, int id) {
    return dlg.ControlAs<QComboBox>(id)->currentText();
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

struct Dialog {
    Dialog(const std::string& path, int langId, ClockTime now = {2025, 3, 4, 13, 14, 15})
        : dlg(path, langId) {
        dlg.SetAutoAnswer(1);
        dlg.OnInitDialog(now);
        dlg.show();
    }
    CSettingDlg dlg;
};

class SettingDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = m_temp.path() + "/blackbox.cfg";
        std::ofstream(m_path, std::ios::binary) << kRecorderFile;
    }
    void TearDown() override { SetReplaceFaultHookForTest(nullptr); }
    test::TempFolder m_temp;
    std::string m_path;
};

}  // namespace

TEST_F(SettingDlgTest, LoadChangeSaveAndReopenShowsTheSavedValues) {
    {
        Dialog d(m_path, kEnglish);
        CSettingDlg& dlg = d.dlg;
        EXPECT_EQ(dlg.windowTitle(), "BlackBox Configuration");
        EXPECT_EQ(dlg.ControlAs<QGroupBox>(c::kStorageGroup)->title(), "Storage (%)");
        EXPECT_EQ(dlg.ControlAs<QLabel>(c::kStorageNote)->text(), "Notice) Total Size = 100%");
        EXPECT_EQ(dlg.ControlAs<QLabel>(c::kUnitYear)->text(), "Y");
        // clang-format off
        const std::pair<int, const char*> shown[] = {
            {c::kDrivingList, "50"}, {c::kEventList, "20"}, {c::kParkingList, "20"},
            {c::kManualList, "10"}, {c::kVoltageList, "11.8v/23.6v"}, {c::kYearList, "2025"},
            {c::kMonthList, "3"}, {c::kDayList, "4"}, {c::kHourList, "13"},
            {c::kMinuteList, "14"}, {c::kSecondList, "15"}};
        // clang-format on
        for (const auto& [id, text] : shown)
            EXPECT_EQ(ListText(dlg, id), text) << id;
        EXPECT_EQ(dlg.ControlAs<QLabel>(c::kFirmware)->text(), "1.2.07");
        EXPECT_EQ(dlg.ControlAs<QLabel>(c::kModel)->text(), "LOCKET KX2");
        EXPECT_EQ(dlg.ControlAs<QLabel>(c::kViewerVersion)->text(), "2.5.7");
        EXPECT_EQ(dlg.ControlAs<QSlider>(c::kShockSlider)->value(), 3);
        EXPECT_EQ(dlg.ControlAs<QSlider>(c::kMotionSlider)->value(), 1);
        EXPECT_FALSE(dlg.Control(c::kYearList)->isEnabled());

        // The pairs are two-way switches: a second click on the ticked box keeps it ticked.
        Click(dlg, c::kMicOn);
        EXPECT_TRUE(dlg.ControlAs<QCheckBox>(c::kMicOn)->isChecked());
        Click(dlg, c::kMicOff);
        EXPECT_FALSE(dlg.ControlAs<QCheckBox>(c::kMicOn)->isChecked());
        EXPECT_TRUE(dlg.ControlAs<QCheckBox>(c::kMicOff)->isChecked());
        Click(dlg, c::kBikeMode);
        EXPECT_FALSE(dlg.Control(c::kShockSlider)->isEnabled());
        Click(dlg, c::kTimeSync);
        EXPECT_TRUE(dlg.Control(c::kYearList)->isEnabled());
        Choose(dlg, c::kDrivingList, "40");
        Choose(dlg, c::kEventList, "30");
        Choose(dlg, c::kVoltageList, "12.4v/24.8v");
        dlg.ControlAs<QSlider>(c::kMotionSlider)->setValue(3);
        Choose(dlg, c::kHourList, "1");
        Click(dlg, c::kSave);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.LastMessage(), "");
    }
    // clang-format off
    const char* const saved[][3] = {
        {"capacity", "const", "40"}, {"capacity", "event", "30"}, {"capacity", "park", "20"},
        {"capacity", "manual", "10"}, {"blackbox", "acc_level", "0"},
        {"blackbox", "motion_level", "5"}, {"blackbox", "mic_in", "0"},
        {"blackbox", "voice_out", "1"}, {"blackbox", "power_off_vlt", "12400"},
        {"blackbox", "tat_update", "1"}, {"blackbox", "dim_front", "hd"}, {"time", "set", "1"},
        {"time", "year", "2025"}, {"time", "hour", "1"}, {"time", "sec", "15"}};
    // clang-format on
    for (const auto& [section, key, value] : saved)
        EXPECT_EQ(Value(m_path, section, key), value) << key;

    // Reopened, in Korean: the saved values are what the dialog shows.
    Dialog d(m_path, kLangKorean);
    CSettingDlg& dlg = d.dlg;
    EXPECT_EQ(dlg.windowTitle(), "KX2 환경설정");
    EXPECT_EQ(dlg.ControlAs<QGroupBox>(c::kStorageGroup)->title(), "저장 공간 (%)");
    EXPECT_EQ(dlg.ControlAs<QPushButton>(c::kSave)->text(), "저장");
    EXPECT_EQ(ListText(dlg, c::kDrivingList), "40");
    EXPECT_EQ(ListText(dlg, c::kEventList), "30");
    EXPECT_EQ(ListText(dlg, c::kVoltageList), "12.4v/24.8v");
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(c::kMicOff)->isChecked());
    EXPECT_TRUE(dlg.ControlAs<QCheckBox>(c::kBikeMode)->isChecked());
    EXPECT_FALSE(dlg.Control(c::kShockSlider)->isEnabled());
    EXPECT_EQ(dlg.ControlAs<QSlider>(c::kMotionSlider)->value(), 3);
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
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << kRecorderFile;
        Dialog d(m_path, kEnglish);
        c.change(d.dlg);
        Click(d.dlg, c::kSave);
        EXPECT_EQ(d.dlg.LastMessage(), c.message);
        EXPECT_TRUE(d.dlg.isVisible());
        EXPECT_NE(d.dlg.result(), QDialog::Accepted);
        // Nothing of the form reached the file.
        EXPECT_EQ(Value(m_path, "capacity", "const"), "50");
        EXPECT_EQ(Value(m_path, "time", "set"), "0");
        SetReplaceFaultHookForTest(nullptr);
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testsupport::UseHeadlessQt();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
