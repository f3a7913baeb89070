#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "widgets/string_table.h"

using namespace locket;
namespace id = locket::string_id;

namespace {

constexpr int kEnglish = 0x09;

bool HasHangul(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3)
            return true;
    }
    return false;
}

}  // namespace

// Every pair the windows load: both members present, on the side of 400 the pair rule puts
// them, Korean words on the Korean side only, or the same text in both; the two texts with the
// product's own odd spacing stay as they are.
TEST(StringTable, EveryPairTheWindowsUseLoadsInBothLanguagesByThePairRule) {
    struct Pair {
        int koreanId;
        bool same;  // the same text in both languages
    };
    // clang-format off
    const int same[] = {
        id::kViewerVersionLabel, id::kProgressCaption, id::kExportCaption, id::kCaptureFilter,
        id::kCaptureName, id::kSelectAll, id::kZoomCaption,
    };
    const int translated[] = {
        id::kQuitQuestion, id::kQuitCaption, id::kCardNotFound, id::kSettingsNotFound,
        id::kSettingsErrorCaption, id::kStorageSumError, id::kNoRecordingTicked, id::kHeaderType,
        id::kHeaderFileName, id::kHeaderDate, id::kHeaderRear, id::kHeaderSize, id::kHeaderPath,
        id::kSettingsCaption, id::kStorageNote, id::kSave, id::kBikeMode, id::kUnitYear,
        id::kUnitMonth, id::kUnitDay, id::kUnitHour, id::kUnitMinute, id::kUnitSecond,
        id::kProgressCancel, id::kTargetFolderTitle, id::kExportClipMp4,
        id::kStorageGroup, id::kDrivingLabel, id::kParkingLabel, id::kEventLabel,
        id::kManualLabel, id::kBatteryLabel, id::kClockGroup, id::kTimeSyncLabel,
        id::kVersionGroup, id::kModelLabel, id::kFirmwareLabel, id::kAudioSensorGroup,
        id::kMicrophoneLabel, id::kSpeakerLabel, id::kShockLabel, id::kMotionLabel,
        id::kInsensitive, id::kNormal, id::kSensitive, id::kEnable, id::kDisable, id::kNotWritten,
        id::kFieldNotSelected, id::kSettingsNotSaved, id::kCaptureReplace, id::kCaptureNotWritten,
        id::kZoomUnavailable, id::kFieldDriving, id::kFieldParking, id::kFieldEvent,
        id::kFieldManual, id::kFieldBattery, id::kFieldYear, id::kFieldMonth, id::kFieldDay,
        id::kFieldHour, id::kFieldMinute, id::kFieldSecond, id::kExportClipGpx, id::kExportClipCsv,
    };
    // clang-format on
    std::vector<Pair> pairs;
    for (int koreanId : same)
        pairs.push_back({koreanId, true});
    for (int koreanId : translated)
        pairs.push_back({koreanId, false});
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.koreanId);
        // Korean on the even id up to 400, on the odd id from 403 on; English on the next id.
        EXPECT_EQ(pair.koreanId <= 400, pair.koreanId % 2 == 0);
        ASSERT_EQ(pair.koreanId, PairMemberId(pair.koreanId, kLangKorean));
        ASSERT_EQ(pair.koreanId + 1, PairMemberId(pair.koreanId, kEnglish));
        const QString korean = LoadPairString(pair.koreanId, kLangKorean);
        const QString english = LoadPairString(pair.koreanId, kEnglish);
        ASSERT_FALSE(english.isEmpty());
        if (pair.same) {
            EXPECT_EQ(korean, english);
        } else {
            EXPECT_TRUE(HasHangul(korean)) << korean.toStdString();
            EXPECT_FALSE(HasHangul(english)) << english.toStdString();
        }
    }
    EXPECT_EQ(QStringLiteral("Does not recognize SD Card. \n Please try again in a few minutes."),
              LoadPairString(id::kCardNotFound, kEnglish));
    EXPECT_EQ(QStringLiteral("Please check storage percetege.\r\nTotal sum should equal 100%%"),
              LoadPairString(id::kStorageSumError, kEnglish));
    // The messages that name something carry exactly one place for it.
    for (int koreanId :
         {id::kNotWritten, id::kFieldNotSelected, id::kCaptureReplace, id::kCaptureNotWritten}) {
        for (int lang : {kLangKorean, kEnglish})
            EXPECT_EQ(1, LoadPairString(koreanId, lang).count(QStringLiteral("%s"))) << koreanId;
    }

    EXPECT_EQ(QStringLiteral("Brindle Road Locket KX2"), LoadString(id::kTitle));
    EXPECT_EQ(id::kTitle, PairMemberId(id::kTitle, kEnglish)) << "the title has no pair";
    EXPECT_EQ(id::kTitle, PairMemberId(id::kTitle, kLangKorean));
    EXPECT_TRUE(LoadString(9999).isEmpty());
}

// Texts from the table reach a printf-style formatter: every directive is filled by type, so a
// text whose directives do not match the arguments can neither crash nor read past them.
TEST(StringTable, FormattingFillsDirectivesByTypeAndKeepsWhatItCannotFill) {
    const std::int64_t hours = 5'000'000'000LL / 3600;
    EXPECT_EQ(QStringLiteral("Make File 000/003 [EVENT_20140301_093000_D1.tat]"),
              FormatString(id::kExportCaption, 0, 3, "EVENT_20140301_093000_D1.tat"));
    EXPECT_EQ(QStringLiteral("Storage (%)"), FormatPairString(id::kStorageGroup, kEnglish));
    EXPECT_EQ(QStringLiteral("Capture_202432_957.jpg"),
              FormatString(id::kCaptureName, 2024, 3, 2, 9, 5, 7));
    EXPECT_TRUE(
        FormatPairString(id::kFieldNotSelected, kEnglish,
                         LoadPairString(id::kFieldDriving, kEnglish))
            .startsWith(QStringLiteral("Not saved: no value is selected for Driving storage.")));
    EXPECT_EQ(QStringLiteral("1388888:53:20"),
              FormatText(QStringLiteral("%02lld:%02d:%02d"),
                         {hours, 5'000'000'000LL % 3600 / 60, 5'000'000'000LL % 60}));
    EXPECT_EQ(QStringLiteral("37.566048, 126.977930"),
              FormatText(QStringLiteral("%lf, %lf"), {37.566048, 126.97793}));
    EXPECT_EQ(QStringLiteral("[ab   |  -7|0x1f|ab]"),
              FormatText(QStringLiteral("[%-5s|%4d|%#x|%.2s]"), {"ab", -7, 31u, "abc"}));
    EXPECT_EQ(QStringLiteral("[3|]"), FormatText(QStringLiteral("[%.0f|%.0s]"), {2.6, "abc"}));
    // Mismatches: a number for %s, text for %d, a directive left without an argument, and one
    // this formatter does not know.
    EXPECT_EQ(QStringLiteral("42 0 7 %s %n"),
              FormatText(QStringLiteral("%s %d %d %s %n"), {42, "x", "7"}));
    EXPECT_EQ(QStringLiteral("100% %"), FormatText(QStringLiteral("100%% %"), {}));
}
