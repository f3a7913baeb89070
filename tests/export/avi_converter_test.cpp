// The AVI conversion of one recording: what it leaves in the folder when every packet was
// copied, when packets were lost (a damaged stretch, the recording gone mid-file) and when it
// was stopped, and that a partial copy never takes the place of a file already there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/avi_converter.h"
#include "export/output_file.h"
#include "files/avi_extractor.h"
#include "files/evidence_test_support.h"
#include "files/recording_listing.h"

namespace locket {
namespace {

namespace fs = std::filesystem;
using Result = ExportResult;

using TempFolder = testsupport::TempDir;

// Front-video packets that the AVI reader finds in the file; -1 when it cannot open it.
int FrontPackets(const std::string& path) {
    CAVIExtractor extractor;
    MediaInfo info{};
    if (!extractor.OpenMedia(path.c_str(), &info))
        return -1;
    std::vector<uint8_t> buffer(CAVIExtractor::kPacketBufSize);
    int front = 0;
    for (;;) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        const int32_t kind = extractor.ReadPacket(buffer.data(), &size);
        if (kind == kPacketEnd)
            return front;
        front += kind == kPacketFrontVideo;
    }
}

// ffprobe reads every frame of the file without a complaint.
bool ProbeAccepts(const std::string& path) {
    std::string complaints;
    return testsupport::RunCommand(
               "ffprobe -v error -count_frames -show_entries "
               "stream=nb_read_frames -of csv=p=0 " +
                   path + " 2>&1 >/dev/null",
               &complaints) == 0 &&
           complaints.empty();
}

// Two 10-second recordings of 30 fps; the second has 64 KiB of noise in its middle.
class Converter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_card = new TempFolder;
        s_made = evidence_test::MakeCard(
            s_card->path() + "/card",
            {"--only", "REC", "--count", "2", "--seconds", "10", "--damage=65536"});
    }
    static void TearDownTestSuite() { delete s_card; }

    void SetUp() override {
        ASSERT_TRUE(s_made);
        card = dir.path() + "/card";
        out = dir.path() + "/out";
        fs::copy(s_card->path() + "/card", card, fs::copy_options::recursive);
        fs::create_directory(out);
        ASSERT_TRUE(converter.UseCard(card));
        const auto names = converter.ListRecordings(kAllCategories);
        ASSERT_EQ(names.size(), 2u);
        intact = names[0];
        damaged = names[1];
    }

    std::string Avi(const std::string& name) { return CAviConverter::DestinationFor(out, name); }

    static TempFolder* s_card;
    static bool s_made;
    TempFolder dir;
    std::string card, out, intact, damaged;
    CAviConverter converter;
};

TempFolder* Converter::s_card = nullptr;
bool Converter::s_made = false;

TEST_F(Converter, EveryPacketCopiedIsWrittenLostPacketsLeaveAnIncompleteFile) {
    struct Case {
        const char* what;
        std::string name;
        bool removeAtFrame10;
        Result result;
    };
    const Case cases[] = {
        {"intact", intact, false, Result::kWritten},
        {"damaged in the middle", damaged, false, Result::kIncomplete},
        {"removed while copied", intact, true, Result::kIncomplete},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directory(out);
        const std::string source = card + "/REC/" + c.name;
        const auto report = converter.Convert(c.name, Avi(c.name), {}, [&](int frame, int) {
            if (c.removeAtFrame10 && frame == 10)
                fs::remove(source);
        });
        EXPECT_EQ(report.result, c.result);
        EXPECT_EQ(report.expected.front, 300u);
        const std::string file =
            c.result == Result::kWritten ? Avi(c.name) : IncompletePath(Avi(c.name));
        EXPECT_EQ(report.file, file);
        // The one file left is closed, playable and holds what the report says was copied.
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
        EXPECT_EQ(FrontPackets(file), static_cast<int>(report.copied.front));
        EXPECT_TRUE(ProbeAccepts(file));
        if (c.result == Result::kWritten) {
            EXPECT_TRUE(report.copied.Covers(report.expected) &&
                        report.expected.Covers(report.copied));
        } else {
            EXPECT_LT(report.copied.front, report.expected.front);
            EXPECT_GE(report.copied.front, c.removeAtFrame10 ? 10u : 200u);
        }
    }
}

// Stopped and incomplete copies take their name only where it is free; a whole copy replaces.
TEST_F(Converter, APartialCopyNeverReplacesAFileAlreadyThere) {
    struct Case {
        const char* what;
        bool damagedRecording;
        bool stopAtFrame10;
        bool avi, incompleteAvi;  // files there before
        Result result;
        bool keptEarlier;
    };
    const Case cases[] = {
        {"stopped, name free", false, true, false, false, Result::kStopped, false},
        {"stopped over an earlier file", false, true, true, false, Result::kStopped, true},
        {"incomplete beside an earlier whole file", true, false, true, false, Result::kIncomplete,
         false},
        {"incomplete over an earlier incomplete file", true, false, false, true,
         Result::kIncomplete, true},
        {"whole over an earlier file", false, false, true, true, Result::kWritten, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out);
        fs::create_directory(out);
        const std::string name = c.damagedRecording ? damaged : intact;
        const std::string avi = Avi(name);
        const std::string incomplete = IncompletePath(avi);
        if (c.avi)
            std::ofstream(avi) << "earlier avi";
        if (c.incompleteAvi)
            std::ofstream(incomplete) << "earlier incomplete";
        int frames = 0;
        const auto report = converter.Convert(
            name, avi, [&] { return !c.stopAtFrame10 || frames < 10; },
            [&](int frame, int) { frames = frame; });
        EXPECT_EQ(report.result, c.result);
        EXPECT_EQ(report.keptEarlier, c.keptEarlier);
        EXPECT_FALSE(fs::exists(avi + ".part"));
        EXPECT_FALSE(fs::exists(incomplete + ".part"));
        const std::string mine = c.result == Result::kIncomplete ? incomplete : avi;
        if (c.keptEarlier) {
            EXPECT_EQ(report.file, "");
            EXPECT_EQ(testsupport::ReadText(mine),
                      mine == avi ? "earlier avi" : "earlier incomplete");
        } else {
            EXPECT_EQ(report.file, mine);
            EXPECT_EQ(FrontPackets(mine), static_cast<int>(report.copied.front));
        }
        if (c.avi && mine != avi) {
            EXPECT_EQ(testsupport::ReadText(avi), "earlier avi");
        }
        if (c.stopAtFrame10) {
            EXPECT_EQ(report.copied.front, 10u);
        }
    }
}

}  // namespace
}  // namespace locket
