// Replacing a whole file so that a pulled card or a crash leaves either the old file or the new
// one, never a cut one.
#pragma once

#include <string>
#include <string_view>

namespace locket {

// Writes text to a new file in the same folder, syncs it and renames it over path (a symbolic
// link is followed, the old file's permission bits are kept). On any failure the temporary file
// is removed, the old file stays as it was and the result is false.
bool ReplaceFileAtomically(const std::string& path, std::string_view text);

// Test seam: called with the temporary file's path once it is written and synced, just before the
// rename; returning false fails the replacement there. Null (the default) lets every one through.
using ReplaceFaultHook = bool (*)(const std::string& tempPath);
void SetReplaceFaultHookForTest(ReplaceFaultHook hook);

}  // namespace locket
