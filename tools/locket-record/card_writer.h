// Makes a whole card: the folders, the settings files and every planned recording, several at
// a time.
#pragma once

#include <string>

#include "tools/locket-record/record_options.h"

namespace locket {

// 0 when the card was written; otherwise 1 with the reason in *error. Prints a line per
// recording unless options.quiet.
int WriteCard(const RecordOptions& options, std::string* error);

}  // namespace locket
