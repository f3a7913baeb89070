// The names of a converter's files: the file of a recording stays in the chosen folder with the
// extension asked for, and an incomplete file is told apart before that extension.
#include <gtest/gtest.h>

#include <string>

#include "export/output_file.h"

namespace locket {
namespace {

TEST(OutputFile, FilesStayInTheChosenFolderWithTheirOwnExtension) {
    struct Case {
        const char* folder;
        std::string name;
        std::string path;        // ExportPath with ".avi"
        std::string incomplete;  // IncompletePath of that
    };
    const std::string longFolder = "/media/" + std::string(300, 'f');
    const Case cases[] = {
        {"/out", "REC_20240301_083000_D.tat", "/out/REC_20240301_083000_D.avi",
         "/out/REC_20240301_083000_D.incomplete.avi"},
        {"/out/", "EVENT_1.TAT", "/out/EVENT_1.avi", "/out/EVENT_1.incomplete.avi"},
        {"", "MANUAL_1.tat", "MANUAL_1.avi", "MANUAL_1.incomplete.avi"},
        {"/out", "noext", "/out/noext.avi", "/out/noext.incomplete.avi"},
        {"/out", "../../etc/x.tat", "/out/.._.._etc_x.avi", "/out/.._.._etc_x.incomplete.avi"},
        {"/out", "a\\b.tat", "/out/a_b.avi", "/out/a_b.incomplete.avi"},
        {"/out", "..", "", ""},
        {"/out", ".", "", ""},
        {"/out", "", "", ""},
        {longFolder.c_str(), std::string(200, 'n') + ".tat",
         longFolder + "/" + std::string(200, 'n') + ".avi",
         longFolder + "/" + std::string(200, 'n') + ".incomplete.avi"},
    };
    for (const Case& c : cases) {
        const std::string path = ExportPath(c.folder, c.name, ".avi");
        EXPECT_EQ(path, c.path) << c.name;
        if (!path.empty()) {
            EXPECT_EQ(IncompletePath(path), c.incomplete) << c.name;
            EXPECT_EQ(PartPath(path), path + ".part");
        }
    }
    // A dot in a folder is not an extension.
    EXPECT_EQ(IncompletePath("/a.b/clip"), "/a.b/clip.incomplete");
    EXPECT_EQ(ExportPath("/out", "REC_1.tat", ".mp4"), "/out/REC_1.mp4");
}

}  // namespace
}  // namespace locket
