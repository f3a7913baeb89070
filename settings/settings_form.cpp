#include "settings/settings_form.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/private_profile.h"

namespace locket {

namespace {

constexpr size_t kValueReadSize = 10;
constexpr size_t kModelReadSize = 20;

// The entry index when it lies in a list of count entries, else -1 (no selection).
int Selection(int index, int count) {
    return index >= 0 && index < count ? index : -1;
}

int ReadInt(const char* section, const char* key, const std::string& path) {
    return LeadingInt(GetPrivateProfileString(section, key, "0", kValueReadSize, path));
}

constexpr int kShareCount = static_cast<int>(std::size(kShareEntries));
constexpr int kVoltageCount = static_cast<int>(std::size(kVoltageEntries));

}  // namespace

ClockTime PcLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::vector<std::string> NumberEntries(int first, int last) {
    std::vector<std::string> entries;
    for (int n = first; n <= last; ++n)
        entries.push_back(std::to_string(n));
    return entries;
}

std::vector<std::string> YearEntries(int pcYear) {
    return NumberEntries(kFirstYear, std::max(kLastListedYear, pcYear));
}

int LevelToSliderPos(int level) {
    switch (level) {
        case 1:
            return 1;
        case 5:
            return 3;
        default:
            return 2;
    }
}

int SliderPosToLevel(int position) {
    switch (position) {
        case 1:
            return 1;
        case 3:
            return 5;
        default:
            return 3;
    }
}

int LeadingInt(const std::string& text) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        n = std::min<long long>(n * 10 + (*p - '0'), 1LL << 31);
    return static_cast<int>(std::clamp<long long>(negative ? -n : n, INT32_MIN, INT32_MAX));
}

int VoltageMillivolts(const std::string& text) {
    // Not strtod: the application's locale may use a decimal comma.
    double volts = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), volts).ec != std::errc())
        return 0;
    const double millivolts = std::trunc(volts * 1000.0);
    return std::isfinite(millivolts) ? static_cast<int>(std::clamp(millivolts, -1e9, 1e9)) : 0;
}

SettingsForm LoadSettingsForm(const std::string& path, const ClockTime& now) {
    SettingsForm form;
    const int voltage = ReadInt("blackbox", "power_off_vlt", path);
    form.voltage = voltage > 0 ? Selection((voltage - 11500) / 300, kVoltageCount) : 2;
    form.micOn = ReadInt("blackbox", "mic_in", path) != 0;
    form.voiceOn = ReadInt("blackbox", "voice_out", path) != 0;
    form.driving = Selection(ReadInt("capacity", "const", path) / 10 - 1, kShareCount);
    form.event = Selection(ReadInt("capacity", "event", path) / 10 - 1, kShareCount);
    form.parking = Selection(ReadInt("capacity", "park", path) / 10 - 1, kShareCount);
    form.manual = Selection(ReadInt("capacity", "manual", path) / 10 - 1, kShareCount);
    form.motionPos = LevelToSliderPos(ReadInt("blackbox", "motion_level", path));
    const int shock = ReadInt("blackbox", "acc_level", path);
    form.shockPos = LevelToSliderPos(shock);
    form.bikeMode = shock == 0;

    form.lastYear = std::max(kLastListedYear, now.year);
    form.year = Selection(now.year - kFirstYear, form.lastYear - kFirstYear + 1);
    form.month = Selection(now.month - 1, 12);
    form.day = Selection(now.day - 1, 31);
    form.hour = Selection(now.hour - 1, 24);
    form.minute = Selection(now.minute, 60);
    form.second = Selection(now.second, 60);

    form.version = GetPrivateProfileString("blackbox", "version", "0", kValueReadSize, path);
    form.model = GetPrivateProfileString("blackbox", "model", "0", kModelReadSize, path);
    form.timeSync = false;
    return form;
}

SaveOutcome SaveSettingsForm(const SettingsForm& form, const std::string& path,
                             SettingsField* field) {
    std::vector<ProfileWrite> writes{{"blackbox", "tat_update", "1"}};
    auto refuse = [&](SaveOutcome outcome) {
        // The mark goes out on its own, as it would before the check: the rest stays as it was.
        if (!WritePrivateProfileStrings(writes, path, LineEnd::kCrLf))
            std::printf("[Settings] cannot mark %s as changed\n", path.c_str());
        return outcome;
    };
    auto unselected = [&](SettingsField which) {
        if (field)
            *field = which;
        return refuse(SaveOutcome::kFieldNotSelected);
    };

    const std::pair<int, SettingsField> shares[] = {{form.driving, SettingsField::kDriving},
                                                    {form.event, SettingsField::kEvent},
                                                    {form.parking, SettingsField::kParking},
                                                    {form.manual, SettingsField::kManual}};
    int sum = 0;
    for (const auto& [index, which] : shares) {
        if (Selection(index, kShareCount) < 0)
            return unselected(which);
        sum += LeadingInt(kShareEntries[index]);
    }
    if (sum != 100)
        return refuse(SaveOutcome::kSharesNot100);
    if (Selection(form.voltage, kVoltageCount) < 0)
        return unselected(SettingsField::kBattery);
    const std::pair<int, SettingsField> clock[] = {
        {Selection(form.year, form.lastYear - kFirstYear + 1), SettingsField::kYear},
        {Selection(form.month, 12), SettingsField::kMonth},
        {Selection(form.day, 31), SettingsField::kDay},
        {Selection(form.hour, 24), SettingsField::kHour},
        {Selection(form.minute, 60), SettingsField::kMinute},
        {Selection(form.second, 60), SettingsField::kSecond}};
    if (form.timeSync) {
        for (const auto& [index, which] : clock)
            if (index < 0)
                return unselected(which);
    }

    auto put = [&](const char* section, const char* key, int value) {
        writes.push_back({section, key, std::to_string(value)});
    };
    for (const auto& [key, index] : {std::pair{"const", form.driving},
                                     {"event", form.event},
                                     {"park", form.parking},
                                     {"manual", form.manual}})
        put("capacity", key, LeadingInt(kShareEntries[index]));
    put("blackbox", "acc_level", form.bikeMode ? 0 : SliderPosToLevel(form.shockPos));
    put("blackbox", "motion_level", SliderPosToLevel(form.motionPos));
    put("blackbox", "mic_in", form.micOn ? 1 : 0);
    put("blackbox", "voice_out", form.voiceOn ? 1 : 0);
    put("blackbox", "power_off_vlt", VoltageMillivolts(kVoltageEntries[form.voltage]));
    put("time", "set", form.timeSync ? 1 : 0);
    if (form.timeSync) {
        put("time", "year", kFirstYear + form.year);
        put("time", "month", form.month + 1);
        put("time", "day", form.day + 1);
        put("time", "hour", form.hour + 1);
        put("time", "min", form.minute);
        put("time", "sec", form.second);
    }
    if (!WritePrivateProfileStrings(writes, path, LineEnd::kCrLf)) {
        std::printf("[Settings] cannot save %s\n", path.c_str());
        return SaveOutcome::kWriteFailed;
    }
    return SaveOutcome::kSaved;
}

}  // namespace locket
