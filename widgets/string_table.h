// The string table of the windows: texts by id from the resources (res/strings), the Korean/English
// pair rule, and printf-style formatting that cannot be misled by a text's directives.
#pragma once

#include <QString>

#include <concepts>
#include <initializer_list>
#include <string>
#include <variant>

namespace locket {

// The primary-language id that selects the Korean member of every pair.
inline constexpr int kLangKorean = 0x12;

// Ids of the table. A pair is named by its Korean member; PairMemberId gives the English one.
namespace string_id {
inline constexpr int kTitle = 402;  // no pair
// Main window.
inline constexpr int kQuitQuestion = 413;
inline constexpr int kQuitCaption = 415;
inline constexpr int kCardNotFound = 445;
inline constexpr int kHeaderType = 427;
inline constexpr int kHeaderFileName = 429;
inline constexpr int kHeaderDate = 431;
inline constexpr int kHeaderRear = 433;
inline constexpr int kHeaderSize = 435;
inline constexpr int kHeaderPath = 437;
inline constexpr int kHeaderTrip = 701;
inline constexpr int kSelectAll = 388;
// Export.
inline constexpr int kNoRecordingTicked = 447;
inline constexpr int kProgressCaption = 376;
inline constexpr int kProgressCancel = 378;
inline constexpr int kTargetFolderTitle = 380;
// Clip export: context menu of the list and the picture.
inline constexpr int kExportClipMp4 = 601;
inline constexpr int kExportClipGpx = 603;
inline constexpr int kExportClipCsv = 605;
inline constexpr int kExportCaption = 382;  // index, count, name
inline constexpr int kNotWritten = 463;     // names, one per line
// Still capture and magnifier.
inline constexpr int kCaptureFilter = 384;
inline constexpr int kCaptureName = 386;        // year, month, day, hour, minute, second
inline constexpr int kCaptureReplace = 469;     // file names, one per line
inline constexpr int kCaptureNotWritten = 521;  // file names, one per line
inline constexpr int kZoomCaption = 390;
inline constexpr int kZoomUnavailable = 471;
// Settings: messages.
inline constexpr int kSettingsNotFound = 421;
inline constexpr int kSettingsErrorCaption = 423;
inline constexpr int kStorageSumError = 425;
inline constexpr int kFieldNotSelected = 465;  // field name
inline constexpr int kSettingsNotSaved = 467;
// Settings: dialog captions.
inline constexpr int kSettingsCaption = 312;
inline constexpr int kStorageGroup = 314;
inline constexpr int kDrivingLabel = 316;
inline constexpr int kParkingLabel = 318;
inline constexpr int kEventLabel = 320;
inline constexpr int kManualLabel = 322;
inline constexpr int kStorageNote = 324;
inline constexpr int kBatteryLabel = 326;
inline constexpr int kClockGroup = 328;
inline constexpr int kTimeSyncLabel = 330;
inline constexpr int kVersionGroup = 332;
inline constexpr int kViewerVersionLabel = 334;
inline constexpr int kModelLabel = 336;
inline constexpr int kFirmwareLabel = 338;
inline constexpr int kAudioSensorGroup = 340;
inline constexpr int kMicrophoneLabel = 342;
inline constexpr int kSpeakerLabel = 344;
inline constexpr int kShockLabel = 346;
inline constexpr int kMotionLabel = 348;
inline constexpr int kInsensitive = 350;
inline constexpr int kNormal = 352;
inline constexpr int kSensitive = 354;
inline constexpr int kEnable = 356;
inline constexpr int kDisable = 358;
inline constexpr int kSave = 360;
inline constexpr int kBikeMode = 362;
inline constexpr int kUnitYear = 364;
inline constexpr int kUnitMonth = 366;
inline constexpr int kUnitDay = 368;
inline constexpr int kUnitHour = 370;
inline constexpr int kUnitMinute = 372;
inline constexpr int kUnitSecond = 374;
// Settings: field names for kFieldNotSelected.
inline constexpr int kFieldDriving = 473;
inline constexpr int kFieldParking = 475;
inline constexpr int kFieldEvent = 477;
inline constexpr int kFieldManual = 479;
inline constexpr int kFieldBattery = 481;
inline constexpr int kFieldYear = 483;
inline constexpr int kFieldMonth = 485;
inline constexpr int kFieldDay = 487;
inline constexpr int kFieldHour = 489;
inline constexpr int kFieldMinute = 491;
inline constexpr int kFieldSecond = 493;
}  // namespace string_id

// The text of one entry as the table holds it (escapes resolved, no formatting); empty, with a
// trace line, when the table has no such id. Safe from any thread.
QString LoadString(int id);

// The member of a pair for the language: the Korean id itself for kLangKorean, else its English
// twin (the next id on both sides of 400). The title has no pair and is returned for both.
int PairMemberId(int koreanId, int langId);
QString LoadPairString(int koreanId, int langId);

// One argument of FormatString, taken by type: the directive only decides how it is written.
class FormatArg {
public:
    template <std::signed_integral T>
    FormatArg(T value) : m_value(static_cast<long long>(value)) {}
    template <std::unsigned_integral T>
    FormatArg(T value) : m_value(static_cast<unsigned long long>(value)) {}
    FormatArg(double value) : m_value(value) {}
    FormatArg(const QString& text) : m_value(text) {}
    FormatArg(const char* utf8) : m_value(QString::fromUtf8(utf8)) {}
    FormatArg(const std::string& utf8) : m_value(QString::fromStdString(utf8)) {}

    long long ToSigned() const;
    unsigned long long ToUnsigned() const;
    double ToDouble() const;
    QString ToText() const;

private:
    std::variant<long long, unsigned long long, double, QString> m_value;
};

// printf-style: "%%", and d i u o x X c e E f F g G s with flags, width and precision; length
// modifiers are read and ignored. A directive without an argument left, or one not listed, is
// copied as it stands; surplus arguments are ignored.
QString FormatText(const QString& format, std::initializer_list<FormatArg> args);

template <typename... Args>
QString FormatString(int id, const Args&... args) {
    return FormatText(LoadString(id), {FormatArg(args)...});
}

template <typename... Args>
QString FormatPairString(int koreanId, int langId, const Args&... args) {
    return FormatText(LoadPairString(koreanId, langId), {FormatArg(args)...});
}

}  // namespace locket
