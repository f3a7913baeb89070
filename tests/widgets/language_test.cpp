#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <utility>
#include <vector>

#include "widgets/skin_images.h"
#include "widgets/string_table.h"

using namespace locket;
namespace id = locket::string_id;

namespace {

constexpr int kEnglish = 0x09;

bool HasHangul(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3; });
}

}  // namespace

// Every pair the windows load: both members present, on the side of 400 the pair rule puts
// them, Korean words on the Korean side only, or the same text in both; the two texts with the
// product's own odd spacing stay as they are.
TEST(StringTable, EveryPairTheWindowsUseLoadsInBothLanguagesByThePairRule) {
    // clang-format off
    const std::vector<int> same = {
        id::kViewerVersionLabel, id::kProgressCaption, id::kExportCaption, id::kCaptureFilter,
        id::kCaptureName, id::kSelectAll, id::kZoomCaption,
    };
    const std::vector<int> translated = {
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
    for (const auto& [ids, alike] : {std::pair{&same, true}, {&translated, false}}) {
        for (int koreanId : *ids) {
            SCOPED_TRACE(koreanId);
            // Korean on the even id up to 400, on the odd id from 403 on; English on the next id.
            EXPECT_EQ(koreanId <= 400, koreanId % 2 == 0);
            const QString korean = LoadPairString(koreanId, kLangKorean);
            const QString english = LoadPairString(koreanId, kEnglish);
            ASSERT_FALSE(english.isEmpty());
            if (alike) {
                EXPECT_EQ(korean, english);
            } else {
                EXPECT_TRUE(HasHangul(korean)) << korean.toStdString();
                EXPECT_FALSE(HasHangul(english)) << english.toStdString();
            }
        }
    }
    EXPECT_EQ(QStringLiteral("Does not recognize SD Card. \n Please try again in a few minutes."),
              LoadPairString(id::kCardNotFound, kEnglish));
    // The messages that name something carry exactly one place for it.
    for (int koreanId :
         {id::kNotWritten, id::kFieldNotSelected, id::kCaptureReplace, id::kCaptureNotWritten}) {
        for (int lang : {kLangKorean, kEnglish})
            EXPECT_EQ(1, LoadPairString(koreanId, lang).count(QStringLiteral("%s"))) << koreanId;
    }

    EXPECT_EQ(QStringLiteral("Brindle Road Locket KX2"), LoadString(id::kTitle));
    EXPECT_EQ(id::kTitle, PairMemberId(id::kTitle, kEnglish)) << "the title has no pair";
    EXPECT_TRUE(LoadString(9999).isEmpty());
}

// Texts from the table reach a printf-style formatter: every directive is filled by type, so a
// text whose directives do not match the arguments can neither crash nor read past them.
TEST(StringTable, FormattingFillsDirectivesByTypeAndKeepsWhatItCannotFill) {
    EXPECT_EQ(QStringLiteral("Make File 000/003 [EVENT_20140301_093000_D1.tat]"),
              FormatString(id::kExportCaption, 0, 3, "EVENT_20140301_093000_D1.tat"));
    EXPECT_EQ(QStringLiteral("Capture_202432_957.jpg"),
              FormatString(id::kCaptureName, 2024, 3, 2, 9, 5, 7));
    EXPECT_TRUE(
        FormatPairString(id::kFieldNotSelected, kEnglish,
                         LoadPairString(id::kFieldDriving, kEnglish))
            .startsWith(QStringLiteral("Not saved: no value is selected for Driving storage.")));
    EXPECT_EQ(QStringLiteral("5000000000:03:07"),
              FormatText(QStringLiteral("%02lld:%02d:%02d"), {5'000'000'000LL, 3, 7}));
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

// Every picture the main window loads, at the size its layout gives it, in both languages; a
// missing file, a wrong size or two files claiming one id all show here. A person reading
// English sees no Korean word: every image with Korean words has an English twin of the same
// name, which English loads; Korean loads the image as it was.
TEST(SkinImages, EveryImageLoadsAtItsLayoutSizeAndWithoutKoreanWordsInEnglish) {
    // clang-format off
    const std::pair<QSize, std::vector<int>> sizes[] = {
        {{975, 712}, {421}},  // window background
        {{64, 64}, {143}},    // program icon
        // title bar and full-screen top bar: minimise, close, full screen, previous size
        {{25, 25}, {451, 452, 434, 435, 440, 441, 502, 503}},
        // transport: PRE, PLAY, Pause, STOP, NEXT, 10 s back and forward, OPEN
        {{31, 17}, {472, 473, 460, 461}}, {{15, 17}, {469, 511, 489, 490}},
        {{25, 16}, {478, 479, 481, 482}}, {{19, 17}, {466, 467}},
        // settings, capture, zoom, brightness icon, rear mirror, mute
        {{21, 21}, {484, 485, 496, 497}}, {{30, 20}, {425, 426}}, {{24, 25}, {424}},
        {{30, 23}, {454, 455}}, {{27, 22}, {495, 494}},
        // swap (window and full screen), map enlarge, rear and map tabs
        {{161, 24}, {431, 432, 433, 517, 516, 515, 428, 429, 430, 475, 476, 477, 448, 449, 450}},
        // categories driving, event, parking, manual, all; file download; list header
        {{65, 24}, {463, 464, 437, 438, 457, 458, 445, 446, 417, 418}},
        {{140, 25}, {505, 506}}, {{325, 18}, {540}},
        // sliders: seek bar (window, full screen), volume and brightness channel, thumb
        {{410, 14}, {443, 444}}, {{390, 14}, {518, 519}}, {{81, 14}, {422, 423}},
        {{10, 14}, {420}},
        // vehicle signals: turn left and right, accelerator, brake, gears, gauges
        {{43, 43}, {531, 536, 532, 534, 525, 523, 526, 527, 524, 528}},
        {{57, 43}, {529, 530, 533, 535}}, {{142, 43}, {522, 521, 520, 541}},
        // full-screen bars, stretched across the width
        {{16, 40}, {537}}, {{16, 72}, {538}}, {{16, 45}, {539}},
    };
    // clang-format on
    const QDir korean(QStringLiteral(":/skin"));
    const QDir english(QStringLiteral(":/skin/en"));
    for (int lang : {kLangKorean, kEnglish}) {
        SetSkinLanguage(lang);
        for (const auto& [size, ids] : sizes) {
            for (int id : ids) {
                EXPECT_EQ(size, LoadSkinImage(id).size()) << id << " language " << lang;
                EXPECT_EQ(1, korean.entryList({QStringLiteral("%1-*.svg").arg(id)}).size()) << id;
            }
        }
    }

    const auto Text = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    int withWords = 0;
    for (const QString& name : korean.entryList({QStringLiteral("*.svg")}, QDir::Files)) {
        if (!HasHangul(Text(korean.filePath(name))))
            continue;
        ++withWords;
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(english.exists(name));
        EXPECT_FALSE(HasHangul(Text(english.filePath(name))));
        const int id = name.section(QLatin1Char('-'), 0, 0).toInt();
        SetSkinLanguage(kLangKorean);
        const QImage shownInKorean = LoadSkinImage(id);
        SetSkinLanguage(kEnglish);
        EXPECT_NE(shownInKorean, LoadSkinImage(id));
    }
    SetSkinLanguage(kLangKorean);
    // The five category buttons (normal and pressed), the list header and the background.
    EXPECT_EQ(withWords, 12);
    for (const QString& name : english.entryList({QStringLiteral("*.svg")}, QDir::Files))
        EXPECT_TRUE(korean.exists(name)) << name.toStdString() << " has no Korean original";
}
