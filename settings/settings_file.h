// The recorder's settings file on the card: finding it (card paths match without regard to
// case) and restoring it from the settings text the TAT library delivers.
#pragma once

#include <string>
#include <vector>

#include "tat/tat_library.h"

namespace locket {

// root/SETTING/blackbox.cfg as it exists on the card, each part matched without regard to case
// (an exact match first); empty when there is no such regular file.
std::string FindSettingsFile(const std::string& root);

// Where the settings file is or would be: the card's SETTING folder (any case) joined with the
// existing file's name, or blackbox.cfg when there is none; empty without a SETTING folder.
std::string SettingsFilePath(const std::string& root);

// Writes the settings text of the library's current card to path: carriage returns dropped,
// every line feed written as CR LF, the file replaced at once. False, with nothing written, when
// the library delivers no text or the file cannot be written.
bool RestoreSettingsFile(TatHandle handle, const std::string& path);

// The settings file of the first root in order that has one. A root without the file is
// restored first, but only when it is `trackedRoot`, the card the library reads the text from:
// any other card (a second card, a backup stick) would get a file the recorder never sees.
// Empty when no root has the file.
std::string LocateSettingsFile(const std::vector<std::string>& roots,
                               const std::string& trackedRoot, TatHandle handle);

}  // namespace locket
