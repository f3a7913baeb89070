#include "files/sensor_log.h"

#include <cstring>
#include <string_view>

#include "tat/tat_reader.h"

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
    CTatReader reader;
    if (!reader.Open(path))
        return false;
    // Room for any packet: the reader reports every packet too large for the buffer.
    std::vector<uint8_t> buffer(1 << 20);
    TatPacketInfo info;
    while (reader.ReadPacket(buffer.data(), static_cast<uint32_t>(buffer.size()), &info) ==
           kTatPacket) {
        if (info.kind == kTatKindText)
            log->Add(buffer.data(), info.size, info.timeMs);
    }
    return true;
}

}  // namespace locket
