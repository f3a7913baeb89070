// The settings dialog's state in the terms of its controls, read from and written to the
// recorder's settings file. No widgets here: the file's rules are tested on their own.
#pragma once

#include <string>
#include <vector>

namespace locket {

struct ClockTime {
    int year = 2013;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The PC's local time now.
ClockTime PcLocalTime();

// List contents, in list order.
inline constexpr const char* kShareEntries[] = {"10", "20", "30", "40", "50", "60", "70"};
inline constexpr const char* kVoltageEntries[] = {"11.5v/23.0v", "11.8v/23.6v", "12.1v/24.2v",
                                                  "12.4v/24.8v"};
inline constexpr int kFirstYear = 2013;
// The year list ends no earlier than this year, and no earlier than the PC's year, so that the
// clock can be given to the recorder whatever the date.
inline constexpr int kLastListedYear = 2024;

// "first" .. "last", one entry per number.
std::vector<std::string> NumberEntries(int first, int last);
// The year list for a PC in pcYear: 2013 .. max(2024, pcYear).
std::vector<std::string> YearEntries(int pcYear);

// Slider position (1..3) of a sensitivity level (1, 3, 5), the middle for any other level; and
// back, the normal level 3 for any other position.
int LevelToSliderPos(int level);
int SliderPosToLevel(int position);

// The leading decimal number of a text (optional sign, then digits), 0 without digits.
int LeadingInt(const std::string& text);
// A voltage entry's text ("12.1v/24.2v") as millivolts: its leading decimal number times 1000,
// cut toward zero; 0 without a number.
int VoltageMillivolts(const std::string& text);

// Fields that can be left without a selection, for the message that names them.
enum class SettingsField {
    kDriving,
    kEvent,
    kParking,
    kManual,
    kBattery,
    kYear,
    kMonth,
    kDay,
    kHour,
    kMinute,
    kSecond,
};

struct SettingsForm {
    // List selections by entry index; -1: no selection.
    int driving = -1;
    int event = -1;
    int parking = -1;
    int manual = -1;
    int voltage = -1;
    bool micOn = false;
    bool voiceOn = false;
    int shockPos = 2;
    int motionPos = 2;
    bool bikeMode = false;
    bool timeSync = false;
    int lastYear = kLastListedYear;  // the year list's last entry
    int year = -1;
    int month = -1;
    int day = -1;
    int hour = -1;
    int minute = -1;
    int second = -1;
    std::string version;  // firmware, at most 9 characters
    std::string model;    // at most 19 characters
};

// The form as the file gives it, with the clock lists set to `now` and PC time sync off.
// A missing file or key reads as "0"; a value a list does not hold leaves it without a selection.
SettingsForm LoadSettingsForm(const std::string& path, const ClockTime& now);

enum class SaveOutcome {
    kSaved,
    kFieldNotSelected,  // *field names it
    kSharesNot100,
    kWriteFailed,  // the card refused the file (removed, read-only): nothing changed
};

// Saves the form: tat_update=1 always; the rest only when every list that counts has a
// selection and the four shares add up to 100. All keys are written in the recorder's order
// with one replacement of the file, so a pulled card leaves the old file or the new one.
SaveOutcome SaveSettingsForm(const SettingsForm& form, const std::string& path,
                             SettingsField* field);

}  // namespace locket
