#include "files/vehicle_signals.h"

#include <string>

#include "files/decimal_text.h"

namespace locket {

SignalValues NoSignals() {
    SignalValues values;
    values.fill(kSignalAbsent);
    return values;
}

SignalValues ParseVehicleSignals(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (c != ' ')
            compact.push_back(c);
    }

    SignalValues values = NoSignals();
    std::string_view rest = compact;
    bool more = true;
    while (more) {
        size_t semicolon = rest.find(';');
        more = semicolon != std::string_view::npos;
        std::string_view field = rest.substr(0, semicolon);
        if (more)
            rest.remove_prefix(semicolon + 1);

        size_t equals = field.find('=');
        if (equals == std::string_view::npos)
            break;
        std::string_view key = field.substr(0, equals);
        std::string_view value = field.substr(equals + 1);
        value = value.substr(0, value.find('='));
        for (int i = 0; i < kSignalCount; ++i) {
            if (key == kSignalNames[i]) {
                values[i] = DecimalToInt(value);
                break;
            }
        }
    }
    return values;
}

}  // namespace locket
