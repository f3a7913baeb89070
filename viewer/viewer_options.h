// What the command line (or a test) tells the main window before it starts.
#pragma once

#include <string>

namespace locket {

struct ViewerOptions {
    // A folder registered as the recorder card (--card); empty: removable volumes only.
    std::string cardFolder;
    // Watch mounted removable volumes as well. Tests switch it off so the machine's own
    // volumes never show up.
    bool watchVolumes = true;
    // Folder of config.cfg; empty: the per-user config folder.
    std::string configFolder;
    // Primary language id; negative: taken from the system locale.
    int langId = -1;
    // Message boxes are recorded and answered with this button instead of waiting for a
    // person (tests); 0: shown as usual.
    int autoAnswer = 0;
};

}  // namespace locket
