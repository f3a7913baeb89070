#include "files/sensor_log.h"

#include <cstring>
#include <string_view>

#include "tat/tat_text_scan.h"

namespace locket {

bool CSensorLog::Add(const uint8_t* data, uint32_t size, uint32_t timeMs) {
    if (data == nullptr || size == 0)
        return false;
    const char* text = reinterpret_cast<const char*>(data);
    const size_t length = strnlen(text, size);
    switch (data[0]) {
        case 'G':
            m_fixes.push_back({timeMs, CGPSData(std::string_view(text, length))});
            return true;
        case 'M':
            if (size < 4)
                return false;
            m_gsensor.push_back({timeMs, CGSensorData(data[1], data[2], data[3])});
            return true;
        case 'B':
            m_signals.push_back(
                {timeMs, ParseVehicleSignals(std::string_view(text + 1, length - 1))});
            return true;
        default:
            return false;
    }
}

void CSensorLog::Clear() {
    m_gsensor.clear();
    m_fixes.clear();
    m_signals.clear();
}

bool ReadSensorLog(const std::string& path, CSensorLog* log) {
    log->Clear();
    return ScanTextPackets(path, [log](uint32_t timeMs, const uint8_t* data, uint32_t size) {
        log->Add(data, size, timeMs);
    });
}

}  // namespace locket
