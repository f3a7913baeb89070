// The recorder's settings dialog: storage shares, battery cut-off, sound, sensitivities, the
// clock to give the recorder and the versions, read from and saved to the card's settings file.
#pragma once

#include <QDialog>
#include <QString>

#include <map>
#include <string>

#include "settings/settings_form.h"

class QCheckBox;
class QComboBox;
class QSlider;

namespace locket {

// Control ids of the dialog.
namespace setting_ctl {
inline constexpr int kDrivingList = 1173;
inline constexpr int kParkingList = 1174;
inline constexpr int kEventList = 1176;
inline constexpr int kVoltageList = 1177;
inline constexpr int kManualList = 1178;
inline constexpr int kMotionSlider = 1171;
inline constexpr int kShockSlider = 1186;
inline constexpr int kYearList = 1180;
inline constexpr int kMonthList = 1181;
inline constexpr int kDayList = 1182;
inline constexpr int kHourList = 1183;
inline constexpr int kMinuteList = 1184;
inline constexpr int kSecondList = 1185;
inline constexpr int kViewerVersion = 1168;
inline constexpr int kFirmware = 1169;
inline constexpr int kModel = 1188;
inline constexpr int kMicOn = 1154;
inline constexpr int kMicOff = 1155;
inline constexpr int kVoiceOn = 1156;
inline constexpr int kVoiceOff = 1159;
inline constexpr int kBikeMode = 1157;
inline constexpr int kTimeSync = 1162;
inline constexpr int kSave = 1163;
inline constexpr int kStorageGroup = 1200;
inline constexpr int kDrivingLabel = 1201;
inline constexpr int kParkingLabel = 1202;
inline constexpr int kEventLabel = 1203;
inline constexpr int kManualLabel = 1204;
inline constexpr int kStorageNote = 1167;
inline constexpr int kBatteryLabel = 1206;
inline constexpr int kClockGroup = 1208;
inline constexpr int kTimeSyncLabel = 1210;
inline constexpr int kVersionGroup = 1212;
inline constexpr int kViewerVersionLabel = 1213;
inline constexpr int kModelLabel = 1214;
inline constexpr int kFirmwareLabel = 1215;
inline constexpr int kAudioSensorGroup = 1166;
inline constexpr int kMicrophoneLabel = 1216;
inline constexpr int kSpeakerLabel = 1217;
inline constexpr int kShockLabel = 1218;
inline constexpr int kMotionLabel = 1219;
inline constexpr int kInsensitive = 1222;
inline constexpr int kSensitive = 1223;
inline constexpr int kNormal = 1224;
// The unit labels after the six clock lists.
inline constexpr int kUnitYear = 1225;
inline constexpr int kUnitSecond = 1230;
}  // namespace setting_ctl

class CSettingDlg : public QDialog {
    Q_OBJECT
public:
    // langId: the primary language that picks the captions (Korean for kLangKorean).
    CSettingDlg(std::string settingsPath, int langId, QWidget* parent = nullptr);

    // Fills the lists, sets the captions and the sliders and loads the file, with the clock
    // lists showing `now` (the PC's time when not given).
    bool OnInitDialog();
    bool OnInitDialog(const ClockTime& now);

    virtual void LoadSettings();
    // False when nothing beyond the change mark was saved; the reason is shown by OnSave.
    virtual bool SaveSettings();

    // Handlers.
    void OnTimeSync();
    void OnBikeMode();
    void OnSwitch(int id);
    void OnSave();

    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    const std::string& SettingsPath() const { return m_settingsPath; }
    // The form the controls show now.
    SettingsForm Form() const;
    // The message box shown last (its text), for tests; empty when none.
    QString LastMessage() const { return m_lastMessage; }
    // Answers every later message box with this button instead of showing it (tests).
    void SetAutoAnswer(int answer) { m_autoAnswer = answer; }

private:
    void CreateControls();
    void SetCaptions();
    void ApplyForm(const SettingsForm& form);
    void ShowMessage(int textId, const QString& argument = {});
    QString PairText(int koreanId) const;
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);

    std::string m_settingsPath;
    int m_langId = 0;
    ClockTime m_openedAt;
    SettingsForm m_loaded;
    // Why the last save stopped: the message and the field it names.
    SaveOutcome m_lastOutcome = SaveOutcome::kSaved;
    SettingsField m_lastField = SettingsField::kDriving;
    QString m_lastMessage;
    int m_autoAnswer = 0;
    std::map<int, QWidget*> m_controls;
};

}  // namespace locket
