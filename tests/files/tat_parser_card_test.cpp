// Reading a whole card made by the recorder tool, as the player and the export do.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "tat_parser_test_card.h"

namespace locket::test {
namespace {

struct Listed {
    std::string name;
    uint32_t fileSize;
};

std::vector<Listed> ListCard(TatHandle handle, char drive) {
    std::vector<Listed> all;
    for (int32_t category = 0; category < kTatCategoryCount; ++category) {
        const int32_t count = TatCountRecordings(handle, drive, category);
        if (count <= 0)
            continue;
        std::vector<char> names(static_cast<size_t>(count) * kTatNameBytes);
        std::vector<uint8_t> sizes(static_cast<size_t>(count) * kTatSizeBytes);
        const int32_t filled =
            TatListRecordings(handle, drive, category, count, names.data(), sizes.data(), nullptr);
        for (int32_t i = 0; i < filled; ++i) {
            const char* name = names.data() + i * kTatNameBytes;
            uint32_t size = 0;
            std::memcpy(&size, sizes.data() + i * kTatSizeBytes, 4);
            all.push_back({std::string(name, strnlen(name, kTatNameBytes)), size});
        }
    }
    return all;
}

TEST(TatParserCard, EveryRecordingOfAToolMadeCardReadsWholeAndSeeksToKeyFrames) {
    const std::filesystem::path tool = LOCKET_BUILD_DIR "/tools/locket-record/locket-record";
    ASSERT_TRUE(std::filesystem::exists(tool)) << tool;
    TestCard card;  // an empty card folder, filled by the tool below
    ASSERT_FALSE(card.Root().empty());
    const std::string command = tool.string() + " '" + card.Root() +
                                "' --seconds 3 --count 2 --size 96x64 --rear-size 64x48"
                                " --power-cut --quiet --jobs 1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

    const TatHandle handle = TatCreate();
    const char drive = TatRegisterCardFolder(handle, card.Root().c_str());
    ASSERT_NE(drive, 0);
    CTATParser::SetLibraryHandle(handle);
    const std::vector<Listed> listed = ListCard(handle, drive);
    ASSERT_EQ(listed.size(), 8u);

    CTATParser parser;
    parser.StartReader();
    int cutShort = 0;
    for (const Listed& recording : listed) {
        SCOPED_TRACE(recording.name);
        MediaInfo info;
        parser.OpenMedia(recording.name.c_str(), &info);
        EXPECT_EQ(info.fps0, 30);
        const bool twoCameras = recording.name.find("_D") != std::string::npos;
        EXPECT_EQ(info.fps1 != 0, twoCameras);
        const ReadResult byName = ParseAll(parser);
        ASSERT_TRUE(byName.ended);

        int front = 0;
        int rear = 0;
        size_t bytes = 0;
        for (const ReadBack& p : byName.packets) {
            bytes += p.bytes.size();
            if (p.id == "00dc" || p.id == "01dc") {
                ASSERT_GE(p.bytes.size(), 5u);
                EXPECT_EQ(std::memcmp(p.bytes.data(), "\0\0\0\1", 4), 0);
                ++(p.id == "00dc" ? front : rear);
            } else if (p.id == "02wb") {
                EXPECT_LE(p.bytes.size(), 3840u);
                EXPECT_EQ(p.bytes.size() % 2, 0u);
            } else {
                ASSERT_EQ(p.id, "03tx");
                ASSERT_FALSE(p.bytes.empty());
                EXPECT_NE(std::strchr("GMB", p.bytes[0]), nullptr);
            }
        }
        ASSERT_FALSE(byName.packets.empty());
        EXPECT_EQ(byName.packets[0].id, "00dc");
        EXPECT_NE(byName.packets[0].bytes[4], 0x41);  // opens with a key frame
        EXPECT_LT(bytes, recording.fileSize);
        EXPECT_EQ(rear > 0, twoCameras);
        // 3 s at 30 fps, except the recording that lost power before its end.
        EXPECT_LE(front, 90);
        if (front < 90) {
            ++cutShort;
        } else {
            EXPECT_EQ(rear, info.frameCount1);
        }
        if (info.frameCount0 != 0) {
            EXPECT_EQ(front, info.frameCount0);
        }

        // Two seconds at 30 fps: group 2, which starts in second 1, opens on a key frame.
        EXPECT_EQ(parser.SeekTime(2.0f), 1);
        const ReadResult afterSeek = ParseAll(parser, CTATParser::kBufferBytes, 1);
        ASSERT_EQ(afterSeek.packets.size(), 1u);
        EXPECT_EQ(afterSeek.packets[0].id, "00dc");
        EXPECT_NE(afterSeek.packets[0].bytes[4], 0x41);
    }
    EXPECT_EQ(cutShort, 1);
    parser.StopReader();
    CTATParser::SetLibraryHandle(card.Handle());
    TatDestroy(handle);
}

}  // namespace
}  // namespace locket::test
