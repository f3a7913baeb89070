#include "files/recording_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace locket {

namespace {

std::vector<std::string_view> Fields(std::string_view name) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t end = name.find('_', start);
        fields.push_back(name.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return fields;
}

std::string_view Field(const std::vector<std::string_view>& fields, size_t index) {
    return index < fields.size() ? fields[index] : std::string_view();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The last two characters of the first `k` characters: a short field gives a shorter or a
// repeated piece, as the list always showed it.
std::string_view Piece(std::string_view field, size_t k) {
    const std::string_view head = field.substr(0, std::min(k, field.size()));
    return head.substr(head.size() >= 2 ? head.size() - 2 : 0);
}

}  // namespace

std::string RecordingTypeCode(std::string_view name) {
    const std::string_view kind = name.substr(0, name.find('_'));
    static constexpr std::pair<std::string_view, std::string_view> kCodes[] = {
        {"REC", "REC"}, {"EVENT", "EVT"}, {"PARKING", "PAK"}, {"MANUAL", "MAN"}};
    for (const auto& [word, code] : kCodes) {
        if (EqualsNoCase(kind, word))
            return std::string(code);
    }
    return std::string(kind);
}

std::string RecordingDateText(std::string_view name) {
    const auto fields = Fields(name);
    const std::string_view date = Field(fields, 1);
    const std::string_view time = Field(fields, 2);
    std::string text;
    text.append(date.substr(0, std::min<size_t>(4, date.size())));
    text += '.';
    text.append(Piece(date, 6));
    text += '.';
    text.append(Piece(date, 8));
    text += ' ';
    text.append(Piece(time, 2));
    text += ':';
    text.append(Piece(time, 4));
    text += ':';
    text.append(Piece(time, 6));
    return text;
}

bool RecordingHasRear(std::string_view name) {
    const std::string_view flags = Field(Fields(name), 3);
    return !flags.empty() && (flags[0] == 'D' || flags[0] == 'd');
}

bool RecordingNewerThan(std::string_view a, std::string_view b) {
    return RecordingDateText(a) > RecordingDateText(b);
}

}  // namespace locket
