// GPX 1.1 track of a recording's GPS fixes: one track point per valid fix, time in UTC, speed
// and course in Garmin's track-point extension (GPX 1.1 itself has no speed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/sensor_log.h"

namespace locket {

// The document for the fixes recorded in [fromMs, toMs); invalid fixes are left out. `name`
// becomes the track's name (escaped).
std::string GpxDocument(const std::vector<TimedFix>& fixes, uint32_t fromMs, uint32_t toMs,
                        const std::string& name);

// "YYYY-MM-DDThh:mm:ssZ" of a fix; the recorder's hour is Korean time (UTC + 9). Empty when the
// fix has no usable date.
std::string FixTimeUtc(const CGPSData& fix);

// Text with &, <, >, " and ' replaced by entities.
std::string XmlEscape(const std::string& text);

}  // namespace locket
