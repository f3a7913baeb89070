#include "files/text_data.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace locket {

TextRecord CTextData::AddTextPacket(const uint8_t* data, int size, int timeMs) {
    if (data == nullptr || size <= 0)
        return kTextIgnored;
    const char* text = reinterpret_cast<const char*>(data);
    const size_t length = strnlen(text, static_cast<size_t>(size));
    switch (data[0]) {
        case 'G':
            return AddGps(CGPSData(std::string_view(text, length))) ? kTextGps : kTextIgnored;
        case 'M':
            // Raw bytes, so a zero is a value here, not the end of the text.
            if (size < 4)
                return kTextIgnored;
            return AddGSensor(CGSensorData(data[1], data[2], data[3]), timeMs) ? kTextGSensor
                                                                               : kTextIgnored;
        case 'B':
            SetSignals(ParseVehicleSignals(std::string_view(text + 1, length - 1)));
            return kTextSignals;
        default:
            return kTextIgnored;
    }
}

bool CTextData::AddGSensor(const CGSensorData& sample, int timeMs) {
    const int64_t second = timeMs / 1000;
    std::lock_guard<std::mutex> guard(m_lock);
    if (second <= static_cast<int64_t>(m_gsensor.size()))
        return false;
    m_gsensor.push_back(sample);
    return true;
}

bool CTextData::AddGps(const CGPSData& fix) {
    if (!fix.valid)
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_gps.push_back(fix);
    return true;
}

void CTextData::SetSignals(const SignalValues& values) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_signals = values;
}

void CTextData::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_gsensor.clear();
    m_gps.clear();
}

size_t CTextData::GSensorCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_gsensor.size();
}

std::vector<CGSensorData> CTextData::GetGSensor(size_t first, size_t count) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (first >= m_gsensor.size())
        return {};
    const size_t end = first + std::min(count, m_gsensor.size() - first);
    return std::vector<CGSensorData>(m_gsensor.begin() + first, m_gsensor.begin() + end);
}

std::vector<CGSensorData> CTextData::GetGSensor() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_gsensor;
}

size_t CTextData::GpsCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_gps.size();
}

std::vector<CGPSData> CTextData::GetGps() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_gps;
}

bool CTextData::GetNewestGps(CGPSData* fix) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_gps.empty())
        return false;
    if (fix)
        *fix = m_gps.back();
    return true;
}

SignalValues CTextData::GetSignals() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_signals;
}

}  // namespace locket
