#include "files/gpx_writer.h"

#include <cstdio>
#include <ctime>

namespace locket {

namespace {

constexpr int kRecorderUtcOffsetHours = 9;

}  // namespace

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                // Control characters other than tab and newlines are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                    out += c;
        }
    }
    return out;
}

std::string FixTimeUtc(const CGPSData& fix) {
    if (fix.month < 1 || fix.month > 12 || fix.day < 1 || fix.day > 31)
        return {};
    std::tm t{};
    t.tm_year = (fix.year < 70 ? 2000 + fix.year : 1900 + fix.year) - 1900;
    t.tm_mon = fix.month - 1;
    t.tm_mday = fix.day;
    t.tm_hour = fix.hour - kRecorderUtcOffsetHours;
    t.tm_min = fix.minute;
    t.tm_sec = fix.second;
    // timegm normalises the hour, carrying into the day before or after.
    const time_t utc = timegm(&t);
    std::tm out{};
    if (!gmtime_r(&utc, &out))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", out.tm_year + 1900,
                  out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec);
    return text;
}

std::string GpxDocument(const std::vector<TimedFix>& fixes, uint32_t fromMs, uint32_t toMs,
                        const std::string& name) {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"locket-viewer\" xmlns=\"http://www.topografix.com/GPX/1/1\""
        " xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\">\n"
        "  <trk>\n    <name>" +
        XmlEscape(name) + "</name>\n    <trkseg>\n";
    char line[256];
    for (const TimedFix& f : fixes) {
        if (f.timeMs < fromMs || f.timeMs >= toMs || !f.fix.valid)
            continue;
        const std::string time = FixTimeUtc(f.fix);
        std::snprintf(line, sizeof line, "      <trkpt lat=\"%.7f\" lon=\"%.7f\">",
                      f.fix.GetLatitudeDeg(), f.fix.GetLongitudeDeg());
        doc += line;
        if (!time.empty())
            doc += "<time>" + time + "</time>";
        std::snprintf(line, sizeof line,
                      "<extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>%.2f</gpxtpx:speed>"
                      "<gpxtpx:course>%.1f</gpxtpx:course></gpxtpx:TrackPointExtension>"
                      "</extensions></trkpt>\n",
                      f.fix.GetSpeedKmh() / 3.6, f.fix.course);
        doc += line;
    }
    doc += "    </trkseg>\n  </trk>\n</gpx>\n";
    return doc;
}

}  // namespace locket
