// `locket-viewer --export`: converts recordings of a card to AVI files without a window, for
// scripts that back recordings up.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace locket {

struct ExportCommand {
    std::string outFolder;
    std::string cardFolder;
    int category = -1;               // library category 0..3; -1: all
    std::vector<std::string> names;  // empty: every listed recording of the category
};

// One line per recording on `out`. 0 when every recording was written whole, 1 when one was
// not (incomplete or not written), 2 when the card or the folder cannot be used.
int RunExportCommand(const ExportCommand& command, FILE* out);

}  // namespace locket
