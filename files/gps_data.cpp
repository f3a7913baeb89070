#include "files/gps_data.h"

#include <cfloat>
#include <cmath>
#include <ctime>

#include "files/decimal_text.h"

namespace locket {

namespace {

constexpr double kKmPerKnot = 1.852;

// Splits at commas keeping empty fields between commas; leading commas are skipped once, and
// nothing after the last comma means no further field.
class CommaFields {
public:
    explicit CommaFields(std::string_view text) : m_text(text) {}

    bool Next(std::string_view* field) {
        if (m_first) {
            m_first = false;
            while (m_pos < m_text.size() && m_text[m_pos] == ',')
                ++m_pos;
        }
        if (m_pos >= m_text.size())
            return false;
        size_t comma = m_text.find(',', m_pos);
        if (comma == std::string_view::npos)
            comma = m_text.size();
        *field = m_text.substr(m_pos, comma - m_pos);
        m_pos = comma + 1;
        return true;
    }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    bool m_first = true;
};

// The two-character decimal field at `pos` of an hhmmss or ddmmyy group.
int32_t TwoDigits(std::string_view field, size_t pos) {
    if (pos >= field.size())
        return 0;
    return DecimalToInt(field.substr(pos, 2));
}

// Digits with at most one point: what a receiver writes for a position.
bool IsPlainDecimal(std::string_view field) {
    bool digit = false;
    bool point = false;
    for (char c : field) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

// The recorder stores speed and course as single precision.
double ThroughFloat(double value) {
    if (!(std::fabs(value) <= FLT_MAX))
        return 0.0;
    return static_cast<double>(static_cast<float>(value));
}

}  // namespace

double CGPSData::RawToDegrees(double raw) {
    double v = raw * 0.01;
    double whole = std::trunc(v);
    return whole + (v - whole) * 100.0 / 60.0;
}

CGPSData::CGPSData(std::string_view packet) {
    packet = packet.substr(0, packet.find('\0'));
    if (packet.size() > kMaxSentence || packet.size() < 7 || packet.compare(2, 5, "GPRMC") != 0)
        return;
    CommaFields fields(packet);
    std::string_view field;
    bool latitudeRead = false;
    bool longitudeRead = false;
    bool complete = true;
    // Field -1 is the packet type, '$' and the sentence name.
    for (int index = -1; index <= 8; ++index) {
        if (!fields.Next(&field)) {
            complete = false;
            break;
        }
        switch (index) {
            case 0:
                hour = TwoDigits(field, 0) + 9;
                minute = TwoDigits(field, 2);
                second = TwoDigits(field, 4);
                break;
            case 1:
                valid = !field.empty() && field[0] == 'A';
                break;
            case 2:
                latitudeRead = IsPlainDecimal(field);
                latitude = DecimalToDouble(field);
                break;
            case 3:
                if (field.empty() || field[0] != 'N')
                    latitude = -latitude;
                break;
            case 4:
                longitudeRead = IsPlainDecimal(field);
                longitude = DecimalToDouble(field);
                break;
            case 5:
                if (field.empty() || field[0] != 'E')
                    longitude = -longitude;
                break;
            case 6:
                speedKmh = ThroughFloat(DecimalToDouble(field) * kKmPerKnot);
                break;
            case 7:
                course = ThroughFloat(DecimalToDouble(field));
                break;
            case 8:
                day = TwoDigits(field, 0);
                month = TwoDigits(field, 2);
                year = TwoDigits(field, 4);
                break;
            default:
                break;
        }
    }
    // A damaged or missing position would put the marker somewhere on the globe, so such a
    // fix is not used however the receiver reported it.
    if (!latitudeRead || !longitudeRead || std::fabs(GetLatitudeDeg()) > 90.0 ||
        std::fabs(GetLongitudeDeg()) > 180.0)
        valid = 0;
    if (!complete)
        return;
    std::tm local{};
    local.tm_sec = second;
    local.tm_min = minute;
    local.tm_hour = hour;  // an hour past 23 rolls into the next day here
    local.tm_mday = day;
    local.tm_mon = month - 1;
    local.tm_year = (year + 30) % 100 + 70;
    local.tm_isdst = 0;
    timestamp = static_cast<int64_t>(std::mktime(&local));
}

}  // namespace locket
