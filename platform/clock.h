// Millisecond sleep and a monotonic millisecond tick.
#pragma once

#include <cstdint>

namespace locket {

void SleepMs(uint32_t ms);

// Milliseconds on a steady clock; only differences are meaningful.
uint32_t TickCountMs();

}  // namespace locket
