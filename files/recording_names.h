// What a recording's name tells: KIND_YYYYMMDD_hhmmss_FLAGS[...]. The list, the player and the
// export read it through these functions only.
#pragma once

#include <string>
#include <string_view>

namespace locket {

// "REC", "EVT", "PAK", "MAN" for the four kind words (any case), else the kind word itself.
std::string RecordingTypeCode(std::string_view name);
// "YYYY.MM.DD hh:mm:ss" from the date and time fields; short or missing fields give short or
// empty pieces, nothing is validated.
std::string RecordingDateText(std::string_view name);
// The flag field starts with D (any case): both cameras. A leading '/' or a trailing
// ", INDEX" (the parser's name forms) does not change the answer.
bool RecordingHasRear(std::string_view name);
// Newest first: a's date text sorts after b's, byte by byte.
bool RecordingNewerThan(std::string_view a, std::string_view b);

}  // namespace locket
