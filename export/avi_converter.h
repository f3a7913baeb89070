// Copies recordings of the card into AVI files packet by packet, without decoding: the
// conversion behind the window's export and `--export`. What it leaves in the folder follows
// export_report.h; a failed write includes a failed index or header rewrite or close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_report.h"
#include "files/avi_writer.h"
#include "files/tat_parser.h"
#include "tat/tat_library.h"

namespace locket {

class CAviConverter {
public:
    CAviConverter();
    ~CAviConverter();
    CAviConverter(const CAviConverter&) = delete;
    CAviConverter& operator=(const CAviConverter&) = delete;

    // Reads the card in `folder` through a library handle of its own, so that playback on
    // another handle never moves this reading position. False when it is not a card.
    bool UseCard(const std::string& folder);

    // The card's listed recordings of library category 0..3, or of all four for
    // kAllCategories, as the recording list shows them.
    std::vector<std::string> ListRecordings(int category);

    // Converts recording `name` into `destination` (NAME.avi). Every packet is counted; a
    // recording whose name says it has no rear camera gets no rear stream.
    ExportReport Convert(const std::string& name, const std::string& destination,
                         const ExportKeepGoing& keepGoing, const ExportProgress& progress);

    // The AVI file of recording `name` in `folder` (ExportPath with ".avi").
    static std::string DestinationFor(const std::string& folder, const std::string& name);

private:
    TatHandle m_handle = nullptr;
    char m_drive = 0;
    CTATParser m_parser;
    CAVIWriter m_writer;
};

}  // namespace locket
