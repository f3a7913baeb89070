// The list on a copy of the shared card, and export of ticked recordings to AVI files, in the
// window and from the command line: the AVI extractor must read back the recording's own packets.
#include <QCheckBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <map>
#include <semaphore>
#include <set>
#include <thread>

#include "export/output_file.h"
#include "files/avi_extractor.h"
#include "tat/tat_test_util.h"
#include "tools/locket-record/recording_writer.h"
#include "viewer/evidence_controls.h"
#include "viewer/export_worker.h"
#include "viewer/progress_dlg.h"
#include "viewer_test_support.h"

namespace locket::viewertest {
namespace {

using Packets = std::vector<std::pair<int, std::vector<uint8_t>>>;  // AVI stream kind, payload

// Front, rear and audio packets of a recording as the file reader delivers them.
Packets SourcePackets(const std::string& card, const std::string& name) {
    Packets packets;
    for (const test::Packet& p : test::ReadPackets(PathOn(card, name))) {
        if (p.kind != kTatKindText)
            packets.emplace_back(p.kind == kTatKindAudio ? 2 : p.stream, p.data);
    }
    return packets;
}

Packets AviPackets(const std::string& path) {
    Packets packets;
    CAVIExtractor extractor;
    MediaInfo info{};
    if (!extractor.OpenMedia(path.c_str(), &info))
        return packets;
    std::vector<uint8_t> buffer(CAVIExtractor::kPacketBufSize);
    for (;;) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        const int32_t kind = extractor.ReadPacket(buffer.data(), &size);
        if (kind == kPacketEnd)
            break;
        if (kind != kPacketText)
            packets.emplace_back(kind, std::vector<uint8_t>(buffer.begin(), buffer.begin() + size));
    }
    return packets;
}

size_t CountKind(const Packets& packets, int kind) {
    return static_cast<size_t>(std::count_if(packets.begin(), packets.end(),
                                             [kind](const auto& p) { return p.first == kind; }));
}

std::string AviName(const std::string& name) {
    return name.substr(0, name.rfind('.')) + ".avi";
}

class Export : public CardWindowTest {
protected:
    void SetUp() override {
        card = dir.path() + "/card";
        out = dir.path() + "/out";
        std::filesystem::copy(SharedCard(), card, std::filesystem::copy_options::recursive);
        std::filesystem::create_directory(out);
        OpenOn(card);
        w().SetPathAnswer([this] { return QString::fromStdString(out); });
    }

    // Ticks rows 0, 1 and 2 and returns their names.
    std::vector<std::string> TickThree() {
        std::vector<std::string> names;
        for (int row : {0, 1, 2}) {
            w().SetRowChecked(row, true);
            names.push_back(w().RowName(row).toStdString());
        }
        return names;
    }

    // The batch is over and the window has taken every report of it.
    bool Finished() {
        const bool idle =
            qWaitFor([&] { return !w().ExportRunning() && !w().ExportWorker()->IsBusy(); }, 20000);
        QCoreApplication::processEvents();
        return idle;
    }

    bool Whole(const std::string& name) {
        return AviPackets(out + "/" + AviName(name)) == SourcePackets(card, name);
    }

    TempDir dir;
    std::string card, out;
};

TEST_F(Export, CardInsertionListsNewestFirstAndRemovalEmptiesIt) {
    const auto& names = SharedCardNames();
    ASSERT_EQ(names.size(), 8u);
    auto* list = w().ControlAs<QTreeWidget>(ctl::kList);
    const std::map<std::string, std::string> types = {
        {"EVENT", "EVT"}, {"PARKING", "PAK"}, {"MANUAL", "MAN"}, {"REC", "REC"}};
    for (int row = 0; row < w().RowCount(); ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        const std::string name = names[static_cast<size_t>(row)];
        EXPECT_EQ(item->text(1).toStdString(), name);
        EXPECT_EQ(item->text(0).toStdString(), types.at(name.substr(0, name.find('_'))));
        EXPECT_EQ(item->text(3), name.find("_D") != std::string::npos ? "O" : "X");
        EXPECT_EQ(item->text(2).size(), 19);
        EXPECT_EQ(item->foreground(0).color(), QColor(Qt::white)) << "rows are white on black";
    }
    EXPECT_TRUE(list->isColumnHidden(1));

    // Select All ticks every row; unticking one row unticks it.
    auto* selectAll = w().ControlAs<QCheckBox>(ctl::kSelectAll);
    selectAll->click();
    for (int row = 0; row < w().RowCount(); ++row)
        EXPECT_TRUE(w().IsRowChecked(row));
    w().SetRowChecked(3, false);
    EXPECT_FALSE(selectAll->isChecked());
    w().SetRowChecked(3, true);
    EXPECT_TRUE(selectAll->isChecked());

    // A category shows its own recordings only; a refill keeps the box's ticks.
    Click(w(), ctl::kCatEvent);
    EXPECT_EQ(w().RowCount(), 2);
    for (int row = 0; row < w().RowCount(); ++row) {
        EXPECT_TRUE(w().RowName(row).startsWith("EVENT_"));
        EXPECT_TRUE(w().IsRowChecked(row));
    }

    std::filesystem::rename(card, card + ".pulled");
    ASSERT_TRUE(qWaitFor([&] { return w().RowCount() == 0; }));
    EXPECT_TRUE(w().LastMessage().startsWith("Does not recognize SD Card."));
    Click(w(), ctl::kOpen);
    EXPECT_EQ(w().RowCount(), 0);
}

TEST_F(Export, TickedRecordingsBecomeAviFilesWithTheRecordingsPackets) {
    const auto names = TickThree();
    QStringList captions;
    QObject::connect(&w(), &QWidget::windowTitleChanged,
                     [&](const QString& title) { captions << title; });
    Click(w(), ctl::kDownload);
    ASSERT_TRUE(Finished());
    ASSERT_EQ(captions.size(), 3) << "the caption keeps the last text";
    EXPECT_EQ(captions[0], QString::fromStdString("Make File 000/003 [" + names[0] + "]"));
    EXPECT_EQ(captions[2], QString::fromStdString("Make File 002/003 [" + names[2] + "]"));
    EXPECT_EQ(w().ProgressDlg()->TotalProgress()->value(), 3);

    for (const std::string& name : names) {
        ASSERT_FALSE(SourcePackets(card, name).empty());
        EXPECT_TRUE(Whole(name)) << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 3);

    // The folder is kept for the next start; no rows ticked asks for one first.
    const std::string profile =
        std::filesystem::path(window->ConfigPath()).parent_path() / "locket-viewer.conf";
    EXPECT_NE(ReadText(profile).find("[Info]\nTargetFolder=" + out), std::string::npos);
    for (int row = 0; row < w().RowCount(); ++row)
        w().SetRowChecked(row, false);
    Click(w(), ctl::kDownload);
    EXPECT_EQ(w().LastMessage(), QStringLiteral("Please tick the recordings to save."));
    EXPECT_FALSE(w().ExportRunning());

    // A recording that lost packets on the way is kept as NAME.incomplete.avi, and the message
    // after the batch names that file; a folder that cannot take the files names every one.
    out = dir.path() + "/again";
    std::filesystem::create_directory(out);
    TickThree();
    ASSERT_TRUE(DamageMiddle(PathOn(card, names[1]), 4096, 7));
    Click(w(), ctl::kDownload);
    ASSERT_TRUE(Finished());
    const std::string incomplete = IncompletePath(AviName(names[1]));
    ASSERT_TRUE(
        qWaitFor([&] { return w().LastMessage().startsWith("These files hold only part"); }));
    EXPECT_TRUE(w().LastMessage().contains(QString::fromStdString(incomplete)));
    EXPECT_TRUE(std::filesystem::exists(out + "/" + incomplete));
    EXPECT_FALSE(std::filesystem::exists(out + "/" + AviName(names[1])));
    EXPECT_TRUE(Whole(names[0]));
    EXPECT_TRUE(Whole(names[2]));

    const std::string missing = out + "/missing";
    w().SetPathAnswer([&] { return QString::fromStdString(missing); });
    TickThree();
    Click(w(), ctl::kDownload);
    ASSERT_TRUE(Finished());
    ASSERT_TRUE(qWaitFor([&] { return w().LastMessage().startsWith("These recordings"); }));
    for (const std::string& name : names)
        EXPECT_TRUE(w().LastMessage().contains(QString::fromStdString(name))) << name;
}

// Cancel, card removal and STOP while the second of three files is copied.
TEST_F(Export, InterruptionsDuringTheSecondFile) {
    enum class Act { kCancel, kPullCard, kPullCardAndOpen, kStop };
    std::atomic<bool> held{false};
    std::binary_semaphore release{0};
    // Blocks the export thread at front frame 10 of the second file until released.
    w().ExportWorker()->SetFrameHook([&](int file, int frame) {
        if (file == 1 && frame == 10) {
            held.store(true);
            release.acquire();
        }
    });
    for (Act act : {Act::kCancel, Act::kPullCard, Act::kPullCardAndOpen, Act::kStop}) {
        SCOPED_TRACE(static_cast<int>(act));
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        held.store(false);
        const auto names = TickThree();
        Click(w(), ctl::kDownload);
        ASSERT_TRUE(qWaitFor([&] { return held.load(); }));
        // The worker's start reaches the window as a queued signal.
        EXPECT_TRUE(qWaitFor([&] { return w().ProgressDlg()->isVisible(); }));
        // Inert while the batch runs.
        Click(w(), ctl::kDownload);
        w().OnListDoubleClick(0);
        EXPECT_EQ(w().CurrentRow(), -1);
        switch (act) {
            case Act::kCancel:
                w().ProgressDlg()->CancelButton()->click();
                break;
            case Act::kPullCard:
            case Act::kPullCardAndOpen: {
                std::filesystem::rename(card, card + ".pulled");
                ASSERT_TRUE(qWaitFor([&] { return !w().ExportRunning(); }));
                EXPECT_FALSE(w().ProgressDlg()->isVisible());
                // Back in, a clip or a recording asked for while the stopped copy still runs
                // waits for it.
                std::filesystem::rename(card + ".pulled", card);
                ASSERT_TRUE(window->WaitForList(static_cast<int>(SharedCardNames().size())));
                bool busyWhenAsked = true;
                w().SetPathAnswer([&] {
                    busyWhenAsked = w().ExportWorker()->IsBusy();
                    return QString::fromStdString(out);
                });
                auto* list = w().ControlAs<QTreeWidget>(ctl::kList);
                emit list->customContextMenuRequested(
                    list->visualItemRect(list->topLevelItem(0)).center());
                ASSERT_NE(w().Evidence()->ContextMenu(), nullptr);
                // Lets the held copy go on later: a window that does not wait asks for the
                // folder, or opens the recording, while it is still held.
                std::thread releaser([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    release.release();
                });
                if (act == Act::kPullCard) {
                    w().Evidence()->ContextMenu()->actions().at(1)->trigger();
                } else {
                    w().Evidence()->ContextMenu()->close();
                    w().OnListDoubleClick(0);
                    busyWhenAsked = w().ExportWorker()->IsBusy();
                    EXPECT_EQ(w().CurrentRow(), 0);
                }
                releaser.join();
                EXPECT_FALSE(busyWhenAsked);
                w().SetPathAnswer([this] { return QString::fromStdString(out); });
                break;
            }
            case Act::kStop:
                Click(w(), ctl::kStop);
                break;
        }
        if (act == Act::kCancel || act == Act::kStop)
            release.release();
        ASSERT_TRUE(Finished());
        EXPECT_FALSE(w().ProgressDlg()->isVisible());
        const std::string second = out + "/" + AviName(names[1]);
        EXPECT_TRUE(Whole(names[0]));
        if (act == Act::kStop) {
            EXPECT_TRUE(Whole(names[1]));
            EXPECT_TRUE(Whole(names[2]));
            continue;
        }
        // The interrupted file is closed, named and playable, with what was copied.
        const Packets copied = AviPackets(second);
        EXPECT_GE(CountKind(copied, 0), 10u);
        EXPECT_LT(CountKind(copied, 0), CountKind(SourcePackets(card, names[1]), 0));
        EXPECT_FALSE(std::filesystem::exists(out + "/" + AviName(names[2])));
        EXPECT_FALSE(std::filesystem::exists(second + ".part"));
    }
    w().ExportWorker()->SetFrameHook({});
}

// The command line exports without a window, AVI files of named or listed recordings or a clip
// of one, and tells by its status whether every file was written whole.
TEST(ExportCommand, WritesTheAskedFilesAndExitsByWhetherEveryOneIsWhole) {
    TempDir dir;
    const std::string card = dir.path() + "/card";
    std::filesystem::copy(SharedCard(), card, std::filesystem::copy_options::recursive);
    const auto& names = SharedCardNames();
    // A file with a recording's name that holds no recording, and one that lost packets.
    const std::string damaged = "EVENT_20240101_000000_D.tat";
    ASSERT_TRUE(testsupport::WriteText(card + "/EVENT/" + damaged, std::string(600 * 1024, 'x')));
    const std::string lost = *std::find_if(names.begin() + 2, names.end(), [](const auto& name) {
        return !name.starts_with("PARKING_");  // the category case stays whole
    });
    ASSERT_TRUE(DamageMiddle(PathOn(card, lost), 4096, 7));
    // Clips are asked for by the name with or without its extension.
    const std::string two = *std::find_if(names.begin(), names.end(), [&](const auto& name) {
        return name.find("_D") != std::string::npos && name != lost;
    });
    const std::string clip = two.substr(0, two.rfind('.'));
    const std::string lostClip = lost.substr(0, lost.rfind('.'));
    std::vector<std::string> parking;
    for (const std::string& name : names) {
        if (name.starts_with("PARKING_"))
            parking.push_back(AviName(name));
    }
    const std::string viewer = std::string(LOCKET_BUILD_DIR) + "/viewer/locket-viewer";
    const std::string out = dir.path() + "/out";
    const std::string avi = viewer + " --export " + out + " --card " + card + " ";
    const std::string mp4 = viewer + " --export-clip " + out + " --card " + card + " ";
    const std::string incomplete = IncompletePath(AviName(lost));
    struct Case {
        std::string command;
        int status;
        std::vector<std::string> files, printed;
        int recordings;  // progress lines
    };
    const std::string &a = names[0], &b = names[1], sha = clip + ".sha256";
    const std::string cut = mp4 + clip + " --from 0.5 --to 2 --gpx --csv";
    const std::string split =
        viewer + " --export-clip " + out + " --card=" + card + " --split " + two;
    const Case cases[] = {
        {avi + a + " " + b, 0, {AviName(a), AviName(b)}, {a, "[2/2] " + b}, 2},
        {avi + "--category 2", 0, parking, {"PARKING_"}, 2},
        {avi + a + " " + damaged, 1, {AviName(a)}, {damaged + ": not written"}, 2},
        {avi + lost, 1, {incomplete}, {"/" + incomplete + ": incomplete, ", " front"}, 1},
        {cut, 0, {clip + ".csv", clip + ".gpx", clip + ".mp4", sha}, {}, 0},
        {split, 0, {clip + ".mp4", sha, clip + "_rear.mp4"}, {}, 0},
        {mp4 + lostClip, 1, {lostClip + ".incomplete.mp4", lostClip + ".incomplete.sha256"}, {}, 0},
        {mp4 + "EVENT_20990101_000000_D", 1, {}, {}, 0},
        {viewer + " --export-clip " + out + " --card " + dir.path() + " " + clip, 2, {}, {}, 0},
        {mp4 + clip + " --from x", 2, {}, {}, 0},
        {mp4 + clip + " --from 3 --to 2", 2, {}, {}, 0},
        {mp4, 2, {}, {}, 0},
        {mp4 + clip + " --speed 2", 2, {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        std::string printed;
        EXPECT_EQ(Shell(c.command, &printed), c.status) << printed;
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(out)) {
            files.insert(entry.path().filename().string());
            if (entry.path().extension() == ".avi") {
                EXPECT_GT(CountKind(AviPackets(entry.path().string()), 0), 0u) << entry.path();
            }
        }
        EXPECT_EQ(files, std::set<std::string>(c.files.begin(), c.files.end()));
        for (const std::string& text : c.printed)
            EXPECT_NE(printed.find(text), std::string::npos) << text << " in " << printed;
        // One progress line per recording among the library's trace lines.
        int lines = 0;
        std::istringstream text(printed);
        for (std::string line; std::getline(text, line);)
            lines += line.size() > 1 && line[0] == '[' && std::isdigit(line[1]);
        EXPECT_EQ(lines, c.recordings);
        if (files.count(sha)) {
            EXPECT_EQ(Shell("cd " + out + " && sha256sum --quiet -c " + sha, &printed), 0)
                << printed;
        }
    }
}

}  // namespace
}  // namespace locket::viewertest
