#include <gtest/gtest.h>

#include <cstdint>

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
// them; texts the product gives verbatim are checked word for word.
TEST(StringTable, EveryPairTheWindowsUseLoadsInBothLanguagesByThePairRule) {
    enum Kind { kTranslated, kSameText };
    struct Pair {
        int koreanId;
        Kind kind;
        const char* korean = nullptr;  // exact text where the product fixes it
        const char* english = nullptr;
    };
    const Pair pairs[] = {
        {id::kQuitQuestion, kTranslated, "종료 하시겠습니까?", "Are you sure you want to quit?"},
        {id::kQuitCaption, kTranslated, "선택", "Select"},
        {id::kCardNotFound, kTranslated,
         "SD Card를 인식하지 못하였습니다.\n잠시 후 다시 시도해 주세요.",
         "Does not recognize SD Card. \n Please try again in a few minutes."},
        {id::kSettingsNotFound, kTranslated,
         "경로에 블랙박스 정보가 없습니다.\n확인 후 다시 한번 시도해 주세요.",
         "Blackbox info not found.\nPlease check location of drive"},
        {id::kSettingsErrorCaption, kTranslated, "블랙박스 설정 오류", "Configuration Error"},
        {id::kStorageSumError, kTranslated,
         "저장 공간 설정을 확인해 주세요\r.\n저장공간의 합은 100%%입니다.",
         "Please check storage percetege.\r\nTotal sum should equal 100%%"},
        {id::kNoRecordingTicked, kTranslated, "저장할 파일을 선택하여 주세요.",
         "Please tick the recordings to save."},
        {id::kHeaderType, kTranslated, "종류", "Type"},
        {id::kHeaderFileName, kTranslated, "파일이름", "FileName"},
        {id::kHeaderDate, kTranslated, "날짜", "Date"},
        {id::kHeaderRear, kTranslated, "후방", "Rear"},
        {id::kHeaderSize, kTranslated, "크기", "Size"},
        {id::kHeaderPath, kTranslated, "경로", "Path"},
        {id::kSettingsCaption, kTranslated, "KX2 환경설정", "BlackBox Configuration"},
        {id::kStorageNote, kTranslated, "(주의) 저장 공간의 합은 100%% 입니다.",
         "Notice) Total Size = 100%%"},
        {id::kStorageGroup, kTranslated},
        {id::kDrivingLabel, kTranslated},
        {id::kParkingLabel, kTranslated},
        {id::kEventLabel, kTranslated},
        {id::kManualLabel, kTranslated},
        {id::kBatteryLabel, kTranslated},
        {id::kClockGroup, kTranslated},
        {id::kTimeSyncLabel, kTranslated},
        {id::kVersionGroup, kTranslated},
        {id::kViewerVersionLabel, kSameText, "PC Viewer"},
        {id::kModelLabel, kTranslated},
        {id::kFirmwareLabel, kTranslated},
        {id::kAudioSensorGroup, kTranslated},
        {id::kMicrophoneLabel, kTranslated},
        {id::kSpeakerLabel, kTranslated},
        {id::kShockLabel, kTranslated},
        {id::kMotionLabel, kTranslated},
        {id::kInsensitive, kTranslated},
        {id::kNormal, kTranslated},
        {id::kSensitive, kTranslated},
        {id::kEnable, kTranslated},
        {id::kDisable, kTranslated},
        {id::kSave, kTranslated, "저장", "Save"},
        {id::kBikeMode, kTranslated, "바이크 모드", "Bike mode"},
        {id::kUnitYear, kTranslated, "년", "Y"},
        {id::kUnitMonth, kTranslated, "월", "M"},
        {id::kUnitDay, kTranslated, "일", "D"},
        {id::kUnitHour, kTranslated, "시", "h"},
        {id::kUnitMinute, kTranslated, "분", "m"},
        {id::kUnitSecond, kTranslated, "초", "s"},
        {id::kProgressCaption, kSameText, "TAT File Download"},
        {id::kProgressCancel, kTranslated, "취소", "Cancel"},
        {id::kTargetFolderTitle, kTranslated, "저장 폴더 지정", "Choose the folder to save to"},
        {id::kExportCaption, kSameText, "Make File %03d/%03d [%s]"},
        {id::kCaptureFilter, kSameText, "jpeg file (*.jpg)"},
        {id::kCaptureName, kSameText, "Capture_%d%d%d_%d%d%d.jpg"},
        {id::kSelectAll, kSameText, "  Select All"},
        {id::kZoomCaption, kSameText, "Zoom"},
        {id::kNotWritten, kTranslated},
        {id::kFieldNotSelected, kTranslated},
        {id::kSettingsNotSaved, kTranslated},
        {id::kCaptureReplace, kTranslated},
        {id::kCaptureNotWritten, kTranslated},
        {id::kZoomUnavailable, kTranslated},
        {id::kFieldDriving, kTranslated},
        {id::kFieldParking, kTranslated},
        {id::kFieldEvent, kTranslated},
        {id::kFieldManual, kTranslated},
        {id::kFieldBattery, kTranslated},
        {id::kFieldYear, kTranslated},
        {id::kFieldMonth, kTranslated},
        {id::kFieldDay, kTranslated},
        {id::kFieldHour, kTranslated},
        {id::kFieldMinute, kTranslated},
        {id::kFieldSecond, kTranslated},
        {id::kExportClipMp4, kTranslated, "MP4 클립으로 내보내기…", "Export clip as MP4…"},
        {id::kExportClipGpx, kTranslated},
        {id::kExportClipCsv, kTranslated},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.koreanId);
        // Korean on the even id up to 400, on the odd id from 403 on; English on the next id.
        EXPECT_EQ(pair.koreanId <= 400, pair.koreanId % 2 == 0);
        ASSERT_EQ(pair.koreanId, PairMemberId(pair.koreanId, kLangKorean));
        ASSERT_EQ(pair.koreanId + 1, PairMemberId(pair.koreanId, kEnglish));
        const QString korean = LoadPairString(pair.koreanId, kLangKorean);
        const QString english = LoadPairString(pair.koreanId, kEnglish);
        ASSERT_FALSE(korean.isEmpty());
        ASSERT_FALSE(english.isEmpty());
        if (pair.korean) {
            EXPECT_EQ(QString::fromUtf8(pair.korean), korean);
        }
        switch (pair.kind) {
            case kTranslated:
                EXPECT_TRUE(HasHangul(korean)) << korean.toStdString();
                EXPECT_FALSE(HasHangul(english)) << english.toStdString();
                if (pair.english) {
                    EXPECT_EQ(QString::fromUtf8(pair.english), english);
                }
                break;
            case kSameText:
                EXPECT_EQ(korean, english);
                break;
        }
    }
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
    // Mismatches: a number for %s, text for %d, a directive left without an argument, and one
    // this formatter does not know.
    EXPECT_EQ(QStringLiteral("42 0 7 %s %n"),
              FormatText(QStringLiteral("%s %d %d %s %n"), {42, "x", "7"}));
    EXPECT_EQ(QStringLiteral("100% %"), FormatText(QStringLiteral("100%% %"), {}));
}
