// The text side of the private-profile (INI) functions: reading a key from an INI text and
// applying key writes to it in memory, with the Windows semantics the settings files rely on.
// No file access here, so the rules can be tested and fuzzed on strings.
//
// Lines: "[name]" opens a section (name = what stands between '[' and the last ']', trimmed);
// "key=value" gives a value (key before the first '=', both trimmed); a line whose first
// non-blank character is ';' is a comment; anything else is kept but means nothing. Section and
// key names compare without regard to ASCII case. Only the first section of a name counts, and
// in it the first line of a key; keys before the first section belong to none. A UTF-8 byte order
// mark before the first line is skipped. Lines end in LF or CR LF.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace locket {

enum class LineEnd { kLf, kCrLf };

struct ProfileWrite {
    std::string section;
    std::string key;
    std::string value;
};

// The value of section/key, blanks around it removed and one pair of enclosing quotes (' or ")
// taken off; nullopt when the section or the key is missing.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// Whether the entry can be written so that it reads back: section and key not blank, no line
// break or NUL anywhere, no '=' in the key, and a key that does not start with '[' or ';'.
bool IsWritableProfileEntry(std::string_view section, std::string_view key, std::string_view value);

// Sets section/key to value in text: the key's line becomes "key=value" (the file's spelling of
// the key, the line's own line end); a missing key is put after the last line of its section
// that is neither blank nor a comment; a missing section is appended at the end, after a blank
// line when the text has any. New lines end as the text's first line does, or as
// `newTextLineEnd` says when the text has no line end yet. Every other byte stays as it was.
// False, with text untouched, when the entry is not writable.
bool ApplyProfileWrite(std::string* text, const ProfileWrite& write,
                       LineEnd newTextLineEnd = LineEnd::kLf);

// The writes one after the other, as that many ApplyProfileWrite calls would make them; false,
// with text untouched, when any of them is not writable.
bool ApplyProfileWrites(std::string* text, std::span<const ProfileWrite> writes,
                        LineEnd newTextLineEnd = LineEnd::kLf);

}  // namespace locket
