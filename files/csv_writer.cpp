#include "files/csv_writer.h"

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

    size_t g = 0, s = 0, f = 0;
    const CGPSData* fix = nullptr;  // the last valid fix at or before the row's time
    std::vector<std::string> row(kColCount);
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
        for (auto& field : row)
            field.clear();
        row[kColTime] = Number("%.3f", t / 1000.0);
        if (takeG) {
            const CGSensorData& v = gs[g++].g;
            row[kColRecord] = "g-sensor";
            row[kColGx] = Number("%.2f", v.x / kGSensorUnitsPerG);
            row[kColGy] = Number("%.2f", v.y / kGSensorUnitsPerG);
            row[kColGz] = Number("%.2f", v.z / kGSensorUnitsPerG);
        } else {
            const SignalValues& v = signals[s++].values;
            row[kColRecord] = "signals";
            for (int i = 0; i < kSignalCount; ++i) {
                if (v[i] != kSignalAbsent)
                    row[kSignalColumn[i]] = std::to_string(v[i]);
            }
        }
        if (fix) {
            row[kColFixTime] = FixTimeUtc(*fix);
            row[kColLatitude] = Number("%.7f", fix->GetLatitudeDeg());
            row[kColLongitude] = Number("%.7f", fix->GetLongitudeDeg());
            row[kColFixSpeed] = Number("%.1f", fix->GetSpeedKmh());
        }
        AppendRow(row, &out);
    }
    return out;
}

}  // namespace locket
