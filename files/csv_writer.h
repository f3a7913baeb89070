// Sensor data of a recording as CSV (RFC 4180: comma separated, CR LF line ends, quoted where
// needed): one row per G-sensor sample and per vehicle-signal record, each with the GPS fix in
// force at its time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/sensor_log.h"

namespace locket {

// The header row's fields, units in brackets.
const std::vector<std::string>& SensorCsvHeader();

// The whole document for the records of [fromMs, toMs), header first.
std::string SensorCsvDocument(const CSensorLog& log, uint32_t fromMs, uint32_t toMs);

// One field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace locket
