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
// them, Korean words on the Korean side only; texts the product gives verbatim word for word.
TEST(StringTable, EveryPairTheWindowsUseLoadsInBothLanguagesByThePairRule) {
    struct Exact {
        int koreanId;
        const char* korean;
        const char* english;  // nullptr: the same text in both languages
    };
    // clang-format off
    const Exact exact[] = {
        {id::kQuitQuestion, "종료 하시겠습니까?", "Are you sure you want to quit?"},
        {id::kQuitCaption, "선택", "Select"},
        {id::kCardNotFound, "SD Card를 인식하지 못하였습니다.\n잠시 후 다시 시도해 주세요.",
         "Does not recognize SD Card. \n Please try again in a few minutes."},
        {id::kSettingsNotFound, "경로에 블랙박스 정보가 없습니다.\n확인 후 다시 한번 시도해 주세요.",
         "Blackbox info not found.\nPlease check location of drive"},
        {id::kSettingsErrorCaption, "블랙박스 설정 오류", "Configuration Error"},
        {id::kStorageSumError, "저장 공간 설정을 확인해 주세요\r.\n저장공간의 합은 100%%입니다.",
         "Please check storage percetege.\r\nTotal sum should equal 100%%"},
        {id::kNoRecordingTicked, "저장할 파일을 선택하여 주세요.", "Please tick the recordings to save."},
        {id::kHeaderType, "종류", "Type"}, {id::kHeaderFileName, "파일이름", "FileName"},
        {id::kHeaderDate, "날짜", "Date"}, {id::kHeaderRear, "후방", "Rear"},
        {id::kHeaderSize, "크기", "Size"}, {id::kHeaderPath, "경로", "Path"},
        {id::kSettingsCaption, "KX2 환경설정", "BlackBox Configuration"},
        {id::kStorageNote, "(주의) 저장 공간의 합은 100%% 입니다.", "Notice) Total Size = 100%%"},
        {id::kViewerVersionLabel, "PC Viewer", nullptr}, {id::kSave, "저장", "Save"},
        {id::kBikeMode, "바이크 모드", "Bike mode"}, {id::kUnitYear, "년", "Y"},
        {id::kUnitMonth, "월", "M"}, {id::kUnitDay, "일", "D"}, {id::kUnitHour, "시", "h"},
        {id::kUnitMinute, "분", "m"}, {id::kUnitSecond, "초", "s"},
        {id::kProgressCaption, "TAT File Download", nullptr}, {id::kProgressCancel, "취소", "Cancel"},
        {id::kTargetFolderTitle, "저장 폴더 지정", "Choose the folder to save to"},
        {id::kExportCaption, "Make File %03d/%03d [%s]", nullptr},
        {id::kCaptureFilter, "jpeg file (*.jpg)", nullptr},
        {id::kCaptureName, "Capture_%d%d%d_%d%d%d.jpg", nullptr},
        {id::kSelectAll, "  Select All", nullptr}, {id::kZoomCaption, "Zoom", nullptr},
        {id::kExportClipMp4, "MP4 클립으로 내보내기…", "Export clip as MP4…"},
    };
    const int translated[] = {
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
    std::vector<Exact> pairs(std::begin(exact), std::end(exact));
    for (int koreanId : translated)
        pairs.push_back({koreanId, nullptr, nullptr});
    for (const Exact& pair : pairs) {
        SCOPED_TRACE(pair.koreanId);
        // Korean on the even id up to 400, on the odd id from 403 on; English on the next id.
        EXPECT_EQ(pair.koreanId <= 400, pair.koreanId % 2 == 0);
        ASSERT_EQ(pair.koreanId, PairMemberId(pair.koreanId, kLangKorean));
        ASSERT_EQ(pair.koreanId + 1, PairMemberId(pair.koreanId, kEnglish));
        const QString korean = LoadPairString(pair.koreanId, kLangKorean);
        const QString english = LoadPairString(pair.koreanId, kEnglish);
        ASSERT_FALSE(english.isEmpty());
        if (pair.korean) {
            EXPECT_EQ(QString::fromUtf8(pair.korean), korean);
            EXPECT_EQ(pair.english ? QString::fromUtf8(pair.english) : korean, english);
        } else {
            EXPECT_TRUE(HasHangul(korean)) << korean.toStdString();
            EXPECT_FALSE(HasHangul(english)) << english.toStdString();
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
    EXPECT_EQ(QStringLiteral("[3|]"), FormatText(QStringLiteral("[%.0f|%.0s]"), {2.6, "abc"}));
    // Mismatches: a number for %s, text for %d, a directive left without an argument, and one
    // this formatter does not know.
    EXPECT_EQ(QStringLiteral("42 0 7 %s %n"),
              FormatText(QStringLiteral("%s %d %d %s %n"), {42, "x", "7"}));
    EXPECT_EQ(QStringLiteral("100% %"), FormatText(QStringLiteral("100%% %"), {}));
}
