// Number parsing for sensor text with the C library's atoi/atof rules, but independent of the
// process locale and free of overflow.
#pragma once

#include <cstdint>
#include <string_view>

namespace locket {

// atoi rules: leading white space, an optional sign, then decimal digits; 0 when there are none.
// Values beyond the int32 range saturate.
int32_t DecimalToInt(std::string_view text);

// atof rules for decimal text ("4807.038", "-1.5e2"); 0 when there is no number, and also for
// values that are not finite or do not fit a double.
double DecimalToDouble(std::string_view text);

}  // namespace locket
