#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "files/evidence_test_support.h"

using namespace evidence_test;

TEST(ClipExportCommand, WritesTheAskedFilesAndExitsAsTheExportDoes) {
    TempDir dir;
    const std::string card = dir.File("card");
    ASSERT_TRUE(MakeCard(card, {"--seconds", "6", "--count", "1", "--only", "EVENT", "--size",
                                "64x48", "--rear-size", "64x48", "--rear"}));
    const std::string name = "EVENT_20240301_083004_D";  // an event starts mid-drive
    // A recording with a damaged stretch in its middle.
    const std::string damagedCard = dir.File("damaged");
    ASSERT_TRUE(MakeCard(damagedCard, {"--seconds", "6", "--count", "1", "--only", "REC", "--size",
                                       "64x48", "--damage=4096"}));
    const auto damagedPaths = Recordings(damagedCard, "REC");
    ASSERT_EQ(1u, damagedPaths.size());
    const std::string damaged = std::filesystem::path(damagedPaths[0]).stem().string();
    const std::string viewer = std::string(LOCKET_BUILD_DIR) + "/viewer/locket-viewer";
    struct Case {
        std::string args;
        int status;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"--card " + card + " " + name + " --from 1.5 --to 4 --gpx --csv",
         0,
         {name + ".csv", name + ".gpx", name + ".mp4", name + ".sha256"}},
        {"--card=" + card + " --split " + name + ".tat",
         0,
         {name + ".mp4", name + ".sha256", name + "_rear.mp4"}},
        {"--card " + damagedCard + " " + damaged,
         1,
         {damaged + ".incomplete.mp4", damaged + ".incomplete.sha256"}},
        {"--card " + card + " EVENT_20990101_000000_D", 1, {}},
        {"--card " + dir.path() + " " + name, 2, {}},
        {"--card " + card + " " + name + " --from x", 2, {}},
        {"--card " + card + " " + name + " --from 3 --to 2", 2, {}},
        {"--card " + card, 2, {}},
        {"--card " + card + " " + name + " --speed 2", 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string out = dir.File("out");
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        std::string printed;
        EXPECT_EQ(c.status, Shell(viewer + " --export-clip " + out + " " + c.args, &printed))
            << printed;
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(out))
            files.push_back(e.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(c.files, files);
        if (c.status == 0) {
            EXPECT_EQ(0,
                      Shell("cd " + out + " && sha256sum --quiet -c " + name + ".sha256", &printed))
                << printed;
        }
    }
}
