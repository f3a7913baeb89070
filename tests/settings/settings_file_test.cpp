#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>

#include "platform/atomic_file.h"
#include "platform/private_profile.h"
#include "settings/settings_form.h"
#include "tat/card_layout.h"
#include "tat/tat_test_util.h"

using namespace locket;
namespace fs = std::filesystem;

namespace {

using testsupport::ReadText;
using testsupport::WriteText;

std::string Value(const std::string& path, const char* section, const char* key) {
    return GetPrivateProfileString(section, key, "<missing>", 64, path);
}

// The recorder's file on a fresh card, with a comment and a key the viewer does not know.
const char kRecorderFile[] =
    "[blackbox]\r\nmodel=LOCKET KX2\r\nversion=1.2.07\r\ndim_front=hd\r\npower_off_vlt=11800\r\n"
    "mic_in=1\r\nvoice_out=1\r\nacc_level=3\r\nmotion_level=3\r\n; kept by the recorder\r\n"
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

class SettingsFileTest : public ::testing::Test {
protected:
    void TearDown() override { SetReplaceFaultHookForTest(nullptr); }
    std::string PathOf(const char* name) const { return m_temp.path() + "/" + name; }
    test::TempFolder m_temp;
};

}  // namespace

TEST_F(SettingsFileTest, SaveWritesTheRecordersOrderInOneReplacementAndKeepsEveryOtherLine) {
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
    const std::string card = PathOf("card.cfg");
    WriteText(card, RecorderText());
    static int replacements;
    replacements = 0;
    SetReplaceFaultHookForTest([](const std::string&) { return ++replacements > 0; });
    ASSERT_EQ(SaveSettingsForm(ValidForm(), card, &field), SaveOutcome::kSaved);
    EXPECT_EQ(replacements, 1);
    const std::map<std::string, std::string> changed = {
        {"tat_update=0", "tat_update=1"},
        {"const=50", "const=40"},
        {"event=20", "event=30"},
        {"manual=10", "manual=10"},
        {"mic_in=1", "mic_in=1"},
        {"voice_out=1", "voice_out=0"},
        {"power_off_vlt=11800", "power_off_vlt=12100"}};
    EXPECT_EQ(ReadText(card), RecorderText([&](const std::string& line) {
                  auto it = changed.find(line);
                  return it == changed.end() ? line : it->second;
              }));

    // A card that fails before the rename: the old file whole, no temporary left, and the
    // save reported as failed.
    const std::string before = ReadText(card);
    SetReplaceFaultHookForTest([](const std::string&) { return false; });
    SettingsForm other = ValidForm();
    other.voiceOn = true;
    EXPECT_EQ(SaveSettingsForm(other, card, &field), SaveOutcome::kWriteFailed);
    EXPECT_EQ(ReadText(card), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_temp.path()), fs::directory_iterator()), 2);
}

TEST_F(SettingsFileTest, RefusedSavesWriteOnlyTheChangeMark) {
    using F = SettingsField;
    struct Case {
        const char* what;
        std::function<void(SettingsForm&)> change;
        SaveOutcome outcome;
        F field = F::kDriving;
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
    const std::string path = PathOf("blackbox.cfg");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(path, RecorderText());
        SettingsForm form = ValidForm();
        c.change(form);
        F field = F::kSecond;
        EXPECT_EQ(SaveSettingsForm(form, path, &field), c.outcome);
        if (c.outcome == SaveOutcome::kFieldNotSelected) {
            EXPECT_EQ(field, c.field);
        }
        EXPECT_EQ(ReadText(path), RecorderText([](const std::string& line) {
                      return line == "tat_update=0" ? std::string("tat_update=1") : line;
                  }));
    }

    // A file with the capacity keys only gets [blackbox] with the mark at its end, refused or not.
    WriteText(path, "[capacity]\r\nconst=40\r\nevent=30\r\npark=20\r\nmanual=20\r\n");
    SettingsForm form = LoadSettingsForm(path, {2025, 1, 1, 12, 0, 0});
    EXPECT_EQ(SaveSettingsForm(form, path, nullptr), SaveOutcome::kSharesNot100);
    EXPECT_EQ(ReadText(path),
              "[capacity]\r\nconst=40\r\nevent=30\r\npark=20\r\nmanual=20\r\n\r\n"
              "[blackbox]\r\ntat_update=1\r\n");
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
        {"power_off_vlt", "12100", 2, "12100"},
        {"power_off_vlt", "12400", 3, "12400"},
        {"power_off_vlt", "0", 2, "12100"},
        {"const", "25", 1, "20"},
        {"const", "40", 3, "40"},
        {"acc_level", "2", 2, "3"},
        {"acc_level", "5", 3, "5"},
        {"acc_level", "1", 1, "1"},
        {"motion_level", "9", 2, "3"},
        {"mic_in", "7", 1, "1"},
        {"voice_out", "0", 0, "0"},
    };
    const std::string path = PathOf("blackbox.cfg");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        WriteText(path, RecorderText([&](const std::string& line) {
                      return line.starts_with(std::string(c.key) + "=")
                                 ? c.key + std::string("=") + c.value
                                 : line;
                  }));
        SettingsForm form = LoadSettingsForm(path, {2025, 6, 1, 12, 0, 0});
        const std::string key = c.key;
        int& shown = key == "power_off_vlt" ? form.voltage
                     : key == "const"       ? form.driving
                     : key == "acc_level"   ? form.shockPos
                                            : form.motionPos;
        if (key == "mic_in" || key == "voice_out") {
            EXPECT_EQ(key == "mic_in" ? form.micOn : form.voiceOn, c.loaded != 0);
        } else {
            EXPECT_EQ(shown, c.loaded);
        }
        if (key == "const")
            form.event = 5 - form.driving;  // keeps the sum at 100 with park 20 and manual 10
        ASSERT_EQ(SaveSettingsForm(form, path, nullptr), SaveOutcome::kSaved);
        EXPECT_EQ(Value(path, key == "const" ? "capacity" : "blackbox", c.key), c.saved);
    }

    // Values a list does not hold leave it without a selection.
    WriteText(path, "[blackbox]\r\npower_off_vlt=11000\r\n[capacity]\r\nconst=80\r\nevent=5\r\n");
    SettingsForm form = LoadSettingsForm(path, {2025, 6, 1, 0, 30, 0});
    EXPECT_EQ(form.voltage, -1);
    WriteText(path, "[blackbox]\r\npower_off_vlt=13000\r\n");
    EXPECT_EQ(LoadSettingsForm(path, {}).voltage, -1);
    EXPECT_EQ(form.driving, -1);
    EXPECT_EQ(form.event, -1);
    EXPECT_EQ(form.hour, -1) << "the hour list starts at 1";
    // Missing keys: bike mode on, sound and guidance off, version and model "0".
    EXPECT_TRUE(form.bikeMode);
    EXPECT_FALSE(form.micOn);
    EXPECT_EQ(form.version, "0");

    // Bike mode saves 0 whatever the slider shows; time sync off writes set=0 only.
    WriteText(path, RecorderText());
    form = ValidForm();
    form.bikeMode = true;
    form.shockPos = 3;
    ASSERT_EQ(SaveSettingsForm(form, path, nullptr), SaveOutcome::kSaved);
    EXPECT_EQ(Value(path, "blackbox", "acc_level"), "0");
    EXPECT_EQ(Value(path, "time", "set"), "0");
    EXPECT_EQ(Value(path, "time", "year"), "2019");
    EXPECT_EQ(Value(path, "time", "sec"), "9");

    // Version and model are cut to 9 and 19 characters.
    WriteText(path, "[blackbox]\r\nversion=1.2.07-beta3\r\nmodel=LOCKET KX2 DUAL CHANNEL\r\n");
    form = LoadSettingsForm(path, {});
    EXPECT_EQ(form.version, "1.2.07-be");
    EXPECT_EQ(form.model, "LOCKET KX2 DUAL CHA");
}

TEST_F(SettingsFileTest, TheYearListReachesThePcsYearSoTodayCanBeSaved) {
    // The PC's date as the C library prints it.
    const std::time_t clock = std::time(nullptr);
    char today[16];
    std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&clock));
    const ClockTime pc = PcLocalTime();
    char read[16];
    std::snprintf(read, sizeof read, "%04d-%02d-%02d", pc.year, pc.month, pc.day);
    EXPECT_STREQ(today, read);

    const std::string path = PathOf("blackbox.cfg");
    for (const ClockTime now : {PcLocalTime(), ClockTime{2031, 12, 31, 24 - 1, 59, 59}}) {
        SCOPED_TRACE(now.year);
        WriteText(path, RecorderText());
        SettingsForm form = LoadSettingsForm(path, now);
        const std::vector<std::string> years = YearEntries(now.year);
        EXPECT_EQ(years.front(), "2013");
        EXPECT_EQ(years.back(), std::to_string(std::max(2024, now.year)));
        ASSERT_GE(form.year, 0);
        EXPECT_EQ(years[size_t(form.year)], std::to_string(now.year));
        form.timeSync = true;
        if (now.hour == 0)
            form.hour = 0;  // the list has no midnight hour; pick 1
        ASSERT_EQ(SaveSettingsForm(form, path, nullptr), SaveOutcome::kSaved);
        EXPECT_EQ(Value(path, "time", "set"), "1");
        EXPECT_EQ(Value(path, "time", "year"), std::to_string(now.year));
        EXPECT_EQ(Value(path, "time", "month"), std::to_string(now.month));
        EXPECT_EQ(Value(path, "time", "min"), std::to_string(now.minute));
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

    struct Case {
        const char* delivered;
        const char* restored;
    };
    const Case cases[] = {
        {"[blackbox]\r\nmic_in=1\r\n", "[blackbox]\r\nmic_in=1\r\n"},
        {"[blackbox]\nmic_in=1\n[time]\r\r\nset=0", "[blackbox]\r\nmic_in=1\r\n[time]\r\nset=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delivered);
        fs::remove(tracked + "/SETTING/blackbox.cfg");
        WriteText(tracked + "/" + kSettingsCopyFile, c.delivered);
        const std::string found = LocateSettingsFile({second, tracked}, tracked, handle);
        EXPECT_EQ(found, tracked + "/SETTING/blackbox.cfg");
        EXPECT_EQ(ReadText(found), c.restored);
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
