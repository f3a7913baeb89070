#include "files/csv_writer.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "files/gpx_writer.h"

namespace locket {

namespace {

enum Column : int {
    kColTime,
    kColRecord,
    kColGx,
    kColGy,
    kColGz,
    kColSpeed,
    kColRpm,
    kColCoolant,
    kColAccelerator,
    kColBrake,
    kColTurn,
    kColGear,
    kColFixTime,
    kColLatitude,
    kColLongitude,
    kColFixSpeed,
    kColCount,
};

// Signal column of each vehicle signal.
constexpr int kSignalColumn[kSignalCount] = {kColRpm,   kColCoolant, kColSpeed, kColAccelerator,
                                             kColBrake, kColTurn,    kColGear};

std::string Number(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The recorder's G units in hundredths of a g.
constexpr int32_t kHundredthsPerUnit = static_cast<int32_t>(100 / kGSensorUnitsPerG);
static_assert(kHundredthsPerUnit * kGSensorUnitsPerG == 100);
// Empty signal cells after a G-sensor row's three axes.
constexpr size_t kSignalColumns = kColGear - kColSpeed + 1;

void AppendInt(int64_t value, std::string* out) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out->append(text, end);
}

// value / scale with `decimals` digits (scale = 10^decimals), exactly.
void AppendFixed(int64_t value, int64_t scale, int decimals, std::string* out) {
    if (value < 0) {
        *out += '-';
        value = -value;
    }
    AppendInt(value / scale, out);
    *out += '.';
    char digits[8];
    int64_t rest = value % scale;
    for (int i = decimals - 1; i >= 0; --i, rest /= 10)
        digits[i] = static_cast<char>('0' + rest % 10);
    out->append(digits, static_cast<size_t>(decimals));
}

void AppendRow(const std::vector<std::string>& fields, std::string* out) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            *out += ',';
        *out += CsvField(fields[i]);
    }
    *out += "\r\n";
}

}  // namespace

const std::vector<std::string>& SensorCsvHeader() {
    static const std::vector<std::string> header = {
        "time [s]",       "record",         "g x [g]",         "g y [g]",
        "g z [g]",        "speed [km/h]",   "rpm [1/min]",     "coolant [°C]",
        "accelerator",    "brake",          "turn signal",     "gear",
        "gps time [UTC]", "latitude [deg]", "longitude [deg]", "gps speed [km/h]"};
    return header;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string SensorCsvDocument(const CSensorLog& log, uint32_t fromMs, uint32_t toMs) {
    std::string out;
    const auto& gs = log.GSensor();
    const auto& signals = log.Signals();
    const auto& fixes = log.Fixes();
    out.reserve((gs.size() + signals.size()) * 96 + 256);
    AppendRow(SensorCsvHeader(), &out);

    // Rows are numbers only (nothing to quote), written straight into the document: an hour
    // holds some 43,000 of them.
    size_t g = 0, s = 0, f = 0;
    const CGPSData* fix = nullptr;  // the last valid fix at or before the row's time
    const CGPSData* described = nullptr;
    std::string fixFields;  // the four fix columns of `described`, each after its comma
    for (;;) {
        const bool haveG = g < gs.size();
        const bool haveS = s < signals.size();
        if (!haveG && !haveS)
            break;
        // G-sensor rows first among records of one time, as the recorder writes them.
        const bool takeG = haveG && (!haveS || gs[g].timeMs <= signals[s].timeMs);
        const uint32_t t = takeG ? gs[g].timeMs : signals[s].timeMs;
        for (; f < fixes.size() && fixes[f].timeMs <= t; ++f) {
            if (fixes[f].fix.valid)
                fix = &fixes[f].fix;
        }
        if (t < fromMs || t >= toMs) {
            takeG ? ++g : ++s;
            continue;
        }
        AppendFixed(t, 1000, 3, &out);
        if (takeG) {
            const CGSensorData& v = gs[g++].g;
            out += ",g-sensor";
            for (int32_t axis : {v.x, v.y, v.z}) {
                out += ',';
                AppendFixed(axis * kHundredthsPerUnit, 100, 2, &out);
            }
            out.append(kSignalColumns, ',');
        } else {
            const SignalValues& v = signals[s++].values;
            out += ",signals,,,";
            std::array<int32_t, kColCount> cells;
            cells.fill(kSignalAbsent);
            for (int i = 0; i < kSignalCount; ++i)
                cells[kSignalColumn[i]] = v[i];
            for (int c = kColSpeed; c <= kColGear; ++c) {
                out += ',';
                if (cells[c] != kSignalAbsent)
                    AppendInt(cells[c], &out);
            }
        }
        if (fix && fix != described) {
            described = fix;
            fixFields.assign(1, ',');
            fixFields += FixTimeUtc(*fix);
            fixFields += Number(",%.7f", fix->GetLatitudeDeg());
            fixFields += Number(",%.7f", fix->GetLongitudeDeg());
            fixFields += Number(",%.1f", fix->GetSpeedKmh());
        }
        if (fix)
            out += fixFields;
        else
            out += ",,,,";
        out += "\r\n";
    }
    return out;
}

}  // namespace locket
