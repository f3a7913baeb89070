// The names of a converter's files: where a recording's file goes, the ".part" it is written as
// and the name it takes once closed, by the rules of export_report.h.
#pragma once

#include <string>

#include "export/export_report.h"

namespace locket {

// The file of recording `name` in `folder`: its extension replaced by `extension` (".avi"),
// path separators turned into '_' so nothing lands outside the folder; "" for a name that
// leaves no file name ("", ".", "..").
std::string ExportPath(const std::string& folder, const std::string& name,
                       const std::string& extension);
// What a converter writes while the file is not closed: destination + ".part".
std::string PartPath(const std::string& destination);
// Where a file that holds only part of its recording goes: "x.avi" -> "x.incomplete.avi".
std::string IncompletePath(const std::string& destination);

// Renames the closed PartPath(destination) by report->result and fills report->file and
// keptEarlier; a failed result, or a rename that fails, removes it (the result then becomes
// kWriteFailed).
void PlaceOutput(const std::string& destination, ExportReport* report);

}  // namespace locket
