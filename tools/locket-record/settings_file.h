// The recorder's settings file SETTING/blackbox.cfg, as the recorder writes it on a fresh card.
#pragma once

#include <string>

#include "tools/locket-record/record_options.h"

namespace locket {

// INI text with CR LF line ends: [blackbox], [capacity] and [time] with every key the viewer
// reads or writes, dim_front included.
std::string RecorderSettingsText(const RecordOptions& options);

// Writes the settings file and the recorder's own copy of it. False with *error on failure.
bool WriteSettingsFiles(const RecordOptions& options, std::string* error);

}  // namespace locket
