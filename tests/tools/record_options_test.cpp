#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record_test_support.h"
#include "tat/tat_library.h"

using namespace locket;
using namespace locket::recordtest;

// Values in both spellings; bad values refused with a message naming the option.
TEST(RecordOptions, ReadsValuesInBothSpellingsAndRefusesBadOnesNamingTheOption) {
    RecordOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"card", "--seconds=5", "--count", "3", "--size", "320x240",
                       "--rear-size=96x64", "--fps", "15", "--seed", "9", "--only", "parking",
                       "--start-mid-group", "--damage", "--start", "20231231_235959"},
                      &o, &error))
        << error;
    // Bare --start-mid-group and --damage take their defaults (12, 4096).
    EXPECT_EQ((std::vector<int>{5, 3, 320, 240, 96, 64, 15, 9, kTatParking, 2023, 59, 12, 4096}),
              (std::vector<int>{o.seconds, o.count, o.width, o.height, o.rearWidth, o.rearHeight,
                                o.fps, static_cast<int>(o.seed), o.onlyCategory, o.start.year,
                                o.start.second, o.startMidGroup, o.damageBytes}));

    const std::pair<std::vector<const char*>, const char*> bad[] = {
        {{"card", "--seconds", "0"}, "--seconds"},
        {{"card", "--count"}, "--count"},
        {{"card", "--size", "161x120"}, "--size"},
        {{"card", "--size", "160"}, "--size"},
        {{"card", "--rear-size", "16x16"}, "--rear-size"},
        {{"card", "--fps", "-3"}, "--fps"},
        {{"card", "--seed", "abc"}, "--seed"},
        {{"card", "--only", "HOLIDAY"}, "--only"},
        {{"card", "--one", "REC_2024_F"}, "--one"},
        {{"card", "--start-mid-group=24"}, "--start-mid-group"},
        {{"card", "--damage=0"}, "--damage"},
        {{"card", "--damage=16777217"}, "--damage"},
        {{"card", "--min-kib", "0"}, "--min-kib"},
        {{"card", "--power-cut=1"}, "--power-cut"},
        {{"card", "--start", "20230229_000000"}, "--start"},
        {{"card", "--rear", "--no-rear"}, "--no-rear"},
        {{"card", "--seconds", "3600", "--count", "25"}, "--count"},
        {{"card", "--import"}, "--import"},
        {{"card", "--import", "x.mp4", "--rear"}, "--import"},
        {{"card", "--import", "x.mp4", "--start-mid-group"}, "--start-mid-group"},
        {{"card", "--frobnicate"}, "--frobnicate"},
        {{"card", "other"}, "other"},
        {{"--seconds", "3"}, "card folder"},
        {{"card", "--one", "REC_20240301_083000_D", "--only", "EVENT"}, "--only"},
    };
    for (const auto& [args, mentions] : bad) {
        RecordOptions refused;
        std::string message;
        EXPECT_FALSE(Parse(args, &refused, &message)) << mentions;
        EXPECT_NE(std::string::npos, message.find(mentions)) << message;
    }
}

TEST(RecordTool, HelpListsEveryOptionBadRunsFailWithAMessageAndRunsAgainNeverReplace) {
    const std::string& tool = kRecorderTool;
    std::string help;
    ASSERT_EQ(0, Shell(tool + " --help", &help));
    for (const char* option :
         {"--seconds", "--count", "--size", "--rear-size", "--fps", "--seed", "--start ", "--rear ",
          "--no-rear", "--only", "--one", "--start-mid-group", "--min-kib", "--power-cut",
          "--damage", "--import", "--jobs", "--quiet", "--help"})
        EXPECT_NE(std::string::npos, help.find(option)) << option;

    // A card folder that cannot be made, settings that cannot be written (a folder in the
    // file's place) and filler past the largest file allowed are errors too, not silent successes.
    const TempDir dir("tool");
    std::filesystem::create_directories(dir.File("settings/SETTING/blackbox.cfg"));
    const std::string small = " --seconds 1 --size 96x64 --quiet";
    for (auto [command, mentions] :
         {std::pair{tool, "usage"},
          {tool + " /proc/locket-card --count 1" + small, "locket-card"},
          {tool + " " + dir.File("settings") + small, "cannot write"},
          {"trap '' XFSZ; ulimit -f 400; exec " + tool + " " + dir.File("full") +
               " --one REC_20240301_090000_F --min-kib 600" + small,
           "writing the recording failed"}}) {
        std::string out;
        EXPECT_NE(0, Shell(command, &out)) << command;
        EXPECT_NE(std::string::npos, out.find(mentions)) << out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("full/REC/REC_20240301_090000_F.tat")));

    // A second run into the same card never replaces a recording: each new one takes the next
    // free second of its kind, and the tool says so.
    const std::string run =
        tool + " " + dir.File("twice") + " --only REC --count 2 --no-rear --seconds 1 --size 96x64";
    std::string first, second;
    ASSERT_EQ(0, Shell(run, &first)) << first;
    ASSERT_EQ(0, Shell(run, &second)) << second;
    EXPECT_EQ(first.find("on the card already"), std::string::npos) << first;
    // What each recording holds: 1 s at 30 fps, sound every 200 ms, GPS, G-sensor and signals.
    EXPECT_NE(first.find("REC/REC_20240301_083001_F.tat  30+0 frames, 5 audio, 13 text"),
              std::string::npos)
        << first;
    EXPECT_NE(second.find("REC_20240301_083000_F.tat is on the card already: the new recording "
                          "is REC_20240301_083002_F.tat"),
              std::string::npos)
        << second;
    std::vector<std::string> names;
    for (const std::string& path : Recordings(dir.File("twice"), "REC"))
        names.push_back(NameOf(path));
    EXPECT_EQ((std::vector<std::string>{"REC_20240301_083000_F.tat", "REC_20240301_083001_F.tat",
                                        "REC_20240301_083002_F.tat", "REC_20240301_083003_F.tat"}),
              names);
}
