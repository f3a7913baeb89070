// The private-profile (INI file) functions with the Windows semantics that the viewer's
// config.cfg and the recorder's settings file rely on; the rules of the text are those of
// profile_text.h. Every write replaces the file atomically, and a write that leaves the text as
// it was does not touch the file.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/profile_text.h"

namespace locket {

// The value of section/key in the file, or `def` (trailing blanks removed) when the file, the
// section or the key is missing; cut to size - 1 bytes, as a caller's buffer of `size` bytes
// would hold it.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, size_t size, const std::string& path);

// The same into buf: at most size - 1 bytes and a terminating NUL; returns the bytes copied
// without the NUL (0 and nothing written when size is 0). Null section, key or def read as "".
size_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                               size_t size, const std::string& path);

// The value read as a decimal integer (an optional sign, then digits up to the first other
// character, wrapping at 32 bits as Windows does); `def` when the key is missing or empty.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::string& path);

// Sets section/key to value in the file (see ApplyProfileWrite); a missing file is created with
// `newFileLineEnd`. False when the entry is not writable, the file cannot be read, or the
// replacement fails; the old file is then left whole.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path,
                               LineEnd newFileLineEnd = LineEnd::kLf);

// Several writes in their order, applied to the text in memory and put in the file with one
// replacement: all of them or none.
bool WritePrivateProfileStrings(std::span<const ProfileWrite> writes, const std::string& path,
                                LineEnd newFileLineEnd = LineEnd::kLf);

}  // namespace locket
