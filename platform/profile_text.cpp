#include "platform/profile_text.h"

#include <vector>

namespace locket {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct Line {
    size_t contentBegin = 0;  // after the byte order mark on the first line
    size_t contentEnd = 0;    // before the line end
    size_t end = 0;           // after the line end
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or key, trimmed
    std::string_view value;  // trimmed, quotes kept
};

Line ClassifyLine(std::string_view text, size_t begin, size_t contentEnd, size_t end) {
    Line line;
    line.contentBegin = begin;
    line.contentEnd = contentEnd;
    line.end = end;
    std::string_view content = Trim(text.substr(begin, contentEnd - begin));
    if (content.empty()) {
        line.kind = LineKind::kBlank;
    } else if (content.front() == ';') {
        line.kind = LineKind::kComment;
    } else if (size_t close = content.rfind(']');
               content.front() == '[' && close != std::string_view::npos) {
        line.kind = LineKind::kSection;
        line.name = Trim(content.substr(1, close - 1));
    } else if (size_t eq = content.find('='); eq != std::string_view::npos) {
        line.name = Trim(content.substr(0, eq));
        line.value = Trim(content.substr(eq + 1));
        line.kind = line.name.empty() ? LineKind::kOther : LineKind::kKey;
    }
    return line;
}

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t pos = text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            lines.push_back(ClassifyLine(text, pos, text.size(), text.size()));
            break;
        }
        size_t contentEnd = nl > pos && text[nl - 1] == '\r' ? nl - 1 : nl;
        lines.push_back(ClassifyLine(text, pos, contentEnd, nl + 1));
        pos = nl + 1;
    }
    return lines;
}

// The line end new lines get: the one the text's first line has.
std::string_view TextLineEnd(std::string_view text, LineEnd fallback) {
    size_t nl = text.find('\n');
    if (nl == std::string_view::npos)
        return fallback == LineEnd::kCrLf ? "\r\n" : "\n";
    return nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
}

struct Place {
    int section = -1;      // header line of the first section of the name
    int key = -1;          // the key's line in it
    int lastContent = -1;  // last line in it that is neither blank nor a comment
};

Place Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Place place;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::kSection) {
            if (place.section >= 0)
                break;
            if (EqualNoCase(line.name, section))
                place.section = place.lastContent = static_cast<int>(i);
            continue;
        }
        if (place.section < 0)
            continue;
        if (line.kind == LineKind::kKey && EqualNoCase(line.name, key)) {
            place.key = static_cast<int>(i);
            break;
        }
        if (line.kind != LineKind::kBlank && line.kind != LineKind::kComment)
            place.lastContent = static_cast<int>(i);
    }
    return place;
}

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
    std::vector<Line> lines = SplitLines(text);
    Place place = Locate(lines, Trim(section), Trim(key));
    if (place.key < 0)
        return std::nullopt;
    std::string_view value = lines[place.key].value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool IsWritableProfileEntry(std::string_view section, std::string_view key,
                            std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    return !section.empty() && !key.empty() && !HasLineBreakOrNul(section) &&
           !HasLineBreakOrNul(key) && !HasLineBreakOrNul(value) &&
           key.find('=') == std::string_view::npos && key.front() != '[' && key.front() != ';';
}

bool ApplyProfileWrite(std::string* text, const ProfileWrite& write, LineEnd newTextLineEnd) {
    if (!IsWritableProfileEntry(write.section, write.key, write.value))
        return false;
    const std::string_view section = Trim(write.section);
    const std::string_view key = Trim(write.key);
    const std::string_view eol = TextLineEnd(*text, newTextLineEnd);
    std::vector<Line> lines = SplitLines(*text);
    Place place = Locate(lines, section, key);

    if (place.key >= 0) {
        const Line& line = lines[place.key];
        std::string replaced;
        replaced.append(line.name).append("=").append(write.value);
        text->replace(line.contentBegin, line.contentEnd - line.contentBegin, replaced);
        return true;
    }

    std::string added;
    size_t at = text->size();
    if (place.section >= 0) {
        const Line& after = lines[place.lastContent];
        at = after.end;
        if (after.end == after.contentEnd)  // the text's last line, without a line end
            added.append(eol);
    } else if (!lines.empty()) {
        const Line& last = lines.back();
        if (last.end == last.contentEnd && last.contentEnd > last.contentBegin)
            added.append(eol);
        if (last.kind != LineKind::kBlank)
            added.append(eol);
    }
    if (place.section < 0)
        added.append("[").append(section).append("]").append(eol);
    added.append(key).append("=").append(write.value).append(eol);
    text->insert(at, added);
    return true;
}

bool ApplyProfileWrites(std::string* text, std::span<const ProfileWrite> writes,
                        LineEnd newTextLineEnd) {
    for (const ProfileWrite& write : writes) {
        if (!IsWritableProfileEntry(write.section, write.key, write.value))
            return false;
    }
    for (const ProfileWrite& write : writes)
        ApplyProfileWrite(text, write, newTextLineEnd);
    return true;
}

}  // namespace locket
