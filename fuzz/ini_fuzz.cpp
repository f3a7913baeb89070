// INI texts as a card or a user may leave them, and one key write into them.
// Input: a flag byte, then section, key and value separated by 0x1F, then the file's text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/profile_text.h"

using namespace locket;

namespace {

std::string_view Trim(std::string_view s) {
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(Trim(s));
    for (char& c : out)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// What a reader must give back for a written value.
std::string ReadBack(std::string_view value) {
    value = Trim(value);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// Section and key names as a rough reading of the text finds them; lookups of these must not
// change when another key is written.
std::vector<std::pair<std::string, std::string>> RoughNames(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    size_t pos = 0;
    while (pos < text.size() && names.size() < 64) {
        size_t nl = std::min(text.find('\n', pos), text.size());
        std::string_view line = Trim(text.substr(pos, nl - pos));
        pos = nl + 1;
        size_t close = line.rfind(']');
        if (!line.empty() && line[0] == '[' && close != std::string_view::npos)
            section = std::string(line.substr(1, close - 1));
        else if (size_t eq = line.find('='); eq != std::string_view::npos)
            names.emplace_back(section, std::string(line.substr(0, eq)));
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const LineEnd lineEnd = (data[0] & 1) ? LineEnd::kCrLf : LineEnd::kLf;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string fields[3] = {"s", "k", "v"};
    for (std::string& field : fields) {
        size_t sep = rest.find('\x1F');
        if (sep == std::string_view::npos)
            break;
        field = std::string(rest.substr(0, sep));
        rest.remove_prefix(sep + 1);
    }
    const std::string before(rest);
    const ProfileWrite write{fields[0], fields[1], fields[2]};

    std::string text = before;
    const bool writable = IsWritableProfileEntry(write.section, write.key, write.value);
    if (ApplyProfileWrite(&text, write, lineEnd) != writable)
        std::abort();
    if (!writable) {
        if (text != before)
            std::abort();
        return 0;
    }
    if (FindProfileValue(text, write.section, write.key) != ReadBack(write.value))
        std::abort();

    // Every line but the one replaced survives: what changed in the old text lies within one line,
    // and at most a line end, a blank line, a header and the key line were added.
    const size_t common = std::min(before.size(), text.size());
    size_t head = 0;
    while (head < common && before[head] == text[head])
        ++head;
    size_t tail = 0;
    while (tail < common - head && before[before.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    std::string_view removed = std::string_view(before).substr(head, before.size() - head - tail);
    std::string_view added = std::string_view(text).substr(head, text.size() - head - tail);
    if (removed.find('\n') != std::string_view::npos ||
        std::count(added.begin(), added.end(), '\n') > 4)
        std::abort();

    // Writing the same again changes nothing, and no other key reads differently.
    std::string again = text;
    ApplyProfileWrite(&again, write, lineEnd);
    if (again != text)
        std::abort();
    const std::string section = Lower(write.section), key = Lower(write.key);
    for (const auto& [s, k] : RoughNames(before)) {
        if (Lower(s) == section && Lower(k) == key)
            continue;
        if (FindProfileValue(before, s, k) != FindProfileValue(text, s, k))
            std::abort();
    }
    return 0;
}
