// The card's recordings as the viewer lists them: the one listing behind the recording list and
// the command-line export, so both show the same recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tat/tat_library.h"

namespace locket {

// Smaller files are recordings the recorder cut off before they were whole: never listed.
constexpr int64_t kMinListedBytes = 0x80000;
// The category value that asks for all four, gathered in the order 0, 1, 2, 3.
constexpr int32_t kAllCategories = 4;

// Names of the recordings of library category 0..3, or of all four for kAllCategories, of at
// least kMinListedBytes, in the library's order; nothing for any other value or no card.
std::vector<std::string> ListRecordings(TatHandle handle, char drive, int32_t category);

}  // namespace locket
