#include "settings/setting_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>

#include <cmath>
#include <cstdio>

#include "widgets/string_table.h"
#include "widgets/window_palette.h"

namespace locket {

namespace {

namespace c = setting_ctl;
namespace sid = string_id;

constexpr const char* kViewerVersionText = "2.5.7";
constexpr int kWidthDu = 379;
constexpr int kHeightDu = 364;

// Dialog units of MS Shell Dlg 8 pt at 96 DPI.
int DuX(double x) {
    return static_cast<int>(std::lround(x * 1.5));
}
int DuY(double y) {
    return static_cast<int>(std::lround(y * 1.625));
}

enum class Kind { kGroup, kLabel, kList, kCheck, kSlider, kButton };

struct ControlSpec {
    int id;
    Kind kind;
    int x, y, w, h;  // dialog units; a list's height includes its drop-down
    int textId = 0;  // caption pair by its Korean id; 0: none or set elsewhere
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
};

// Groups first, so the controls inside them stack above.
const ControlSpec kControls[] = {
    {c::kStorageGroup, Kind::kGroup, 7, 7, 180, 128, sid::kStorageGroup},
    {c::kAudioSensorGroup, Kind::kGroup, 193, 7, 179, 206, sid::kAudioSensorGroup},
    {c::kClockGroup, Kind::kGroup, 7, 143, 180, 100, sid::kClockGroup},
    {c::kVersionGroup, Kind::kGroup, 193, 221, 179, 72, sid::kVersionGroup},
    // Storage.
    {c::kDrivingLabel, Kind::kLabel, 15, 24, 90, 10, sid::kDrivingLabel},
    {c::kDrivingList, Kind::kList, 112, 22, 65, 120},
    {c::kParkingLabel, Kind::kLabel, 15, 46, 90, 10, sid::kParkingLabel},
    {c::kParkingList, Kind::kList, 112, 44, 65, 120},
    {c::kEventLabel, Kind::kLabel, 15, 68, 90, 10, sid::kEventLabel},
    {c::kEventList, Kind::kList, 112, 66, 65, 120},
    {c::kManualLabel, Kind::kLabel, 15, 90, 90, 10, sid::kManualLabel},
    {c::kManualList, Kind::kList, 112, 88, 65, 120},
    {c::kStorageNote, Kind::kLabel, 15, 112, 165, 10, sid::kStorageNote},
    // Sound, battery and sensors.
    {c::kMicrophoneLabel, Kind::kLabel, 201, 24, 62, 10, sid::kMicrophoneLabel},
    {c::kMicOn, Kind::kCheck, 265, 22, 50, 12, sid::kEnable},
    {c::kMicOff, Kind::kCheck, 316, 22, 54, 12, sid::kDisable},
    {c::kSpeakerLabel, Kind::kLabel, 201, 44, 62, 10, sid::kSpeakerLabel},
    {c::kVoiceOn, Kind::kCheck, 265, 42, 50, 12, sid::kEnable},
    {c::kVoiceOff, Kind::kCheck, 316, 42, 54, 12, sid::kDisable},
    {c::kBatteryLabel, Kind::kLabel, 201, 66, 62, 10, sid::kBatteryLabel},
    {c::kVoltageList, Kind::kList, 265, 64, 100, 80},
    {c::kShockLabel, Kind::kLabel, 201, 90, 62, 10, sid::kShockLabel},
    {c::kShockSlider, Kind::kSlider, 265, 88, 100, 18},
    {c::kInsensitive, Kind::kLabel, 259, 108, 40, 10, sid::kInsensitive},
    {c::kNormal, Kind::kLabel, 297, 108, 36, 10, sid::kNormal, Qt::AlignCenter},
    {c::kSensitive, Kind::kLabel, 331, 108, 40, 10, sid::kSensitive,
     Qt::AlignRight | Qt::AlignVCenter},
    {c::kBikeMode, Kind::kCheck, 265, 124, 100, 12, sid::kBikeMode},
    {c::kMotionLabel, Kind::kLabel, 201, 150, 62, 10, sid::kMotionLabel},
    {c::kMotionSlider, Kind::kSlider, 265, 148, 100, 18},
    // Clock.
    {c::kTimeSync, Kind::kCheck, 15, 160, 10, 10},
    {c::kTimeSyncLabel, Kind::kLabel, 28, 160, 140, 10, sid::kTimeSyncLabel},
    {c::kYearList, Kind::kList, 15, 182, 40, 120},
    {c::kUnitYear, Kind::kLabel, 57, 184, 12, 10, sid::kUnitYear},
    {c::kMonthList, Kind::kList, 74, 182, 40, 120},
    {c::kUnitYear + 1, Kind::kLabel, 116, 184, 12, 10, sid::kUnitMonth},
    {c::kDayList, Kind::kList, 133, 182, 34, 120},
    {c::kUnitYear + 2, Kind::kLabel, 169, 184, 12, 10, sid::kUnitDay},
    {c::kHourList, Kind::kList, 15, 210, 40, 120},
    {c::kUnitYear + 3, Kind::kLabel, 57, 212, 12, 10, sid::kUnitHour},
    {c::kMinuteList, Kind::kList, 74, 210, 40, 120},
    {c::kUnitYear + 4, Kind::kLabel, 116, 212, 12, 10, sid::kUnitMinute},
    {c::kSecondList, Kind::kList, 133, 210, 34, 120},
    {c::kUnitSecond, Kind::kLabel, 169, 212, 12, 10, sid::kUnitSecond},
    // Versions.
    {c::kViewerVersionLabel, Kind::kLabel, 201, 236, 62, 10, sid::kViewerVersionLabel},
    {c::kViewerVersion, Kind::kLabel, 265, 236, 100, 10},
    {c::kModelLabel, Kind::kLabel, 201, 254, 62, 10, sid::kModelLabel},
    {c::kModel, Kind::kLabel, 265, 254, 100, 10},
    {c::kFirmwareLabel, Kind::kLabel, 201, 272, 62, 10, sid::kFirmwareLabel},
    {c::kFirmware, Kind::kLabel, 265, 272, 100, 10},
    {c::kSave, Kind::kButton, 302, 338, 70, 18, sid::kSave},
};

constexpr int kShareLists[] = {c::kDrivingList, c::kParkingList, c::kEventList, c::kManualList};
constexpr int kClockLists[] = {c::kYearList, c::kMonthList,  c::kDayList,
                               c::kHourList, c::kMinuteList, c::kSecondList};

int FieldNameId(SettingsField field) {
    switch (field) {
        case SettingsField::kDriving:
            return sid::kFieldDriving;
        case SettingsField::kEvent:
            return sid::kFieldEvent;
        case SettingsField::kParking:
            return sid::kFieldParking;
        case SettingsField::kManual:
            return sid::kFieldManual;
        case SettingsField::kBattery:
            return sid::kFieldBattery;
        case SettingsField::kYear:
            return sid::kFieldYear;
        case SettingsField::kMonth:
            return sid::kFieldMonth;
        case SettingsField::kDay:
            return sid::kFieldDay;
        case SettingsField::kHour:
            return sid::kFieldHour;
        case SettingsField::kMinute:
            return sid::kFieldMinute;
        case SettingsField::kSecond:
            return sid::kFieldSecond;
    }
    return sid::kFieldDriving;
}

void Fill(QComboBox* list, const std::vector<std::string>& entries) {
    list->clear();
    for (const std::string& entry : entries)
        list->addItem(QString::fromStdString(entry));
}

// An index outside the list leaves it without a selection.
void Select(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

}  // namespace

CSettingDlg::CSettingDlg(std::string settingsPath, int langId, QWidget* parent)
    : QDialog(parent), m_settingsPath(std::move(settingsPath)), m_langId(langId) {
    QFont font = QApplication::font();
    font.setPointSize(8);
    setFont(font);
    setFixedSize(DuX(kWidthDu), DuY(kHeightDu));
    setPalette(WindowPalette());
    CreateControls();
}

void CSettingDlg::CreateControls() {
    for (const ControlSpec& spec : kControls) {
        QWidget* widget = nullptr;
        switch (spec.kind) {
            case Kind::kGroup:
                widget = new QGroupBox(this);
                break;
            case Kind::kLabel: {
                auto* label = new QLabel(this);
                label->setAlignment(spec.align);
                widget = label;
                break;
            }
            case Kind::kList: {
                auto* list = new QComboBox(this);
                list->setMaxVisibleItems(12);
                widget = list;
                break;
            }
            case Kind::kCheck:
                widget = new QCheckBox(this);
                break;
            case Kind::kSlider: {
                auto* slider = new QSlider(Qt::Horizontal, this);
                slider->setTickPosition(QSlider::TicksBelow);
                widget = slider;
                break;
            }
            case Kind::kButton:
                widget = new QPushButton(this);
                break;
        }
        // A list's template height includes its drop-down; the closed box is one row.
        const int h = spec.kind == Kind::kList ? 14 : spec.h;
        widget->setGeometry(DuX(spec.x), DuY(spec.y), DuX(spec.w), DuY(h));
        m_controls[spec.id] = widget;
    }
    connect(ControlAs<QCheckBox>(c::kTimeSync), &QCheckBox::clicked, this,
            [this] { OnTimeSync(); });
    connect(ControlAs<QCheckBox>(c::kBikeMode), &QCheckBox::clicked, this,
            [this] { OnBikeMode(); });
    for (int id : {c::kMicOn, c::kMicOff, c::kVoiceOn, c::kVoiceOff})
        connect(ControlAs<QCheckBox>(id), &QCheckBox::clicked, this, [this, id] { OnSwitch(id); });
    connect(ControlAs<QPushButton>(c::kSave), &QPushButton::clicked, this, [this] { OnSave(); });
}

QWidget* CSettingDlg::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QString CSettingDlg::PairText(int koreanId) const {
    // Through the formatter, so that "%%" shows as "%".
    return FormatPairString(koreanId, m_langId);
}

bool CSettingDlg::IsChecked(int id) const {
    auto* box = ControlAs<QCheckBox>(id);
    return box && box->isChecked();
}

void CSettingDlg::SetChecked(int id, bool checked) {
    if (auto* box = ControlAs<QCheckBox>(id))
        box->setChecked(checked);
}

bool CSettingDlg::OnInitDialog() {
    return OnInitDialog(PcLocalTime());
}

bool CSettingDlg::OnInitDialog(const ClockTime& now) {
    m_openedAt = now;
    for (int id : kShareLists)
        Fill(ControlAs<QComboBox>(id), {std::begin(kShareEntries), std::end(kShareEntries)});
    Fill(ControlAs<QComboBox>(c::kVoltageList),
         {std::begin(kVoltageEntries), std::end(kVoltageEntries)});
    Fill(ControlAs<QComboBox>(c::kYearList), YearEntries(now.year));
    Fill(ControlAs<QComboBox>(c::kMonthList), NumberEntries(1, 12));
    Fill(ControlAs<QComboBox>(c::kDayList), NumberEntries(1, 31));
    Fill(ControlAs<QComboBox>(c::kHourList), NumberEntries(1, 24));
    Fill(ControlAs<QComboBox>(c::kMinuteList), NumberEntries(0, 59));
    Fill(ControlAs<QComboBox>(c::kSecondList), NumberEntries(0, 59));
    // The selection indexes start at 0; the share lists have none.
    for (int id : kShareLists)
        Select(ControlAs<QComboBox>(id), -1);
    Select(ControlAs<QComboBox>(c::kVoltageList), 0);
    for (int id : kClockLists)
        Select(ControlAs<QComboBox>(id), 0);
    ControlAs<QLabel>(c::kViewerVersion)->setText(QString::fromLatin1(kViewerVersionText));
    ControlAs<QLabel>(c::kFirmware)->clear();

    SetCaptions();
    for (int id : {c::kMotionSlider, c::kShockSlider}) {
        auto* slider = ControlAs<QSlider>(id);
        slider->setRange(1, 3);
        slider->setTickInterval(1);
        slider->setSingleStep(1);
        slider->setPageStep(1);
    }
    LoadSettings();
    return true;
}

void CSettingDlg::SetCaptions() {
    setWindowTitle(PairText(sid::kSettingsCaption));
    for (const ControlSpec& spec : kControls) {
        if (!spec.textId)
            continue;
        const QString text = PairText(spec.textId);
        QWidget* widget = Control(spec.id);
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(text);
    }
}

void CSettingDlg::LoadSettings() {
    m_loaded = LoadSettingsForm(m_settingsPath, m_openedAt);
    ApplyForm(m_loaded);
}

void CSettingDlg::ApplyForm(const SettingsForm& form) {
    Control(c::kVoltageList)->setEnabled(true);
    Select(ControlAs<QComboBox>(c::kVoltageList), form.voltage);
    SetChecked(c::kMicOn, form.micOn);
    SetChecked(c::kMicOff, !form.micOn);
    SetChecked(c::kVoiceOn, form.voiceOn);
    SetChecked(c::kVoiceOff, !form.voiceOn);
    Select(ControlAs<QComboBox>(c::kDrivingList), form.driving);
    Select(ControlAs<QComboBox>(c::kEventList), form.event);
    Select(ControlAs<QComboBox>(c::kParkingList), form.parking);
    Select(ControlAs<QComboBox>(c::kManualList), form.manual);
    ControlAs<QSlider>(c::kMotionSlider)->setValue(form.motionPos);
    ControlAs<QSlider>(c::kShockSlider)->setValue(form.shockPos);
    SetChecked(c::kBikeMode, form.bikeMode);
    Control(c::kShockSlider)->setEnabled(!form.bikeMode);
    const int clock[] = {form.year, form.month, form.day, form.hour, form.minute, form.second};
    for (size_t i = 0; i < std::size(kClockLists); ++i)
        Select(ControlAs<QComboBox>(kClockLists[i]), clock[i]);
    ControlAs<QLabel>(c::kFirmware)->setText(QString::fromStdString(form.version));
    ControlAs<QLabel>(c::kModel)->setText(QString::fromStdString(form.model));
    SetChecked(c::kTimeSync, form.timeSync);
    for (int id : kClockLists)
        Control(id)->setEnabled(form.timeSync);
}

SettingsForm CSettingDlg::Form() const {
    SettingsForm form;
    auto index = [this](int id) { return ControlAs<QComboBox>(id)->currentIndex(); };
    form.driving = index(c::kDrivingList);
    form.event = index(c::kEventList);
    form.parking = index(c::kParkingList);
    form.manual = index(c::kManualList);
    form.voltage = index(c::kVoltageList);
    form.micOn = IsChecked(c::kMicOn);
    form.voiceOn = IsChecked(c::kVoiceOn);
    form.shockPos = ControlAs<QSlider>(c::kShockSlider)->value();
    form.motionPos = ControlAs<QSlider>(c::kMotionSlider)->value();
    form.bikeMode = IsChecked(c::kBikeMode);
    form.timeSync = IsChecked(c::kTimeSync);
    form.lastYear = kFirstYear + ControlAs<QComboBox>(c::kYearList)->count() - 1;
    form.year = index(c::kYearList);
    form.month = index(c::kMonthList);
    form.day = index(c::kDayList);
    form.hour = index(c::kHourList);
    form.minute = index(c::kMinuteList);
    form.second = index(c::kSecondList);
    form.version = ControlAs<QLabel>(c::kFirmware)->text().toStdString();
    form.model = ControlAs<QLabel>(c::kModel)->text().toStdString();
    return form;
}

bool CSettingDlg::SaveSettings() {
    m_lastOutcome = SaveSettingsForm(Form(), m_settingsPath, &m_lastField);
    return m_lastOutcome == SaveOutcome::kSaved;
}

void CSettingDlg::OnTimeSync() {
    const bool on = IsChecked(c::kTimeSync);
    for (int id : kClockLists)
        Control(id)->setEnabled(on);
}

void CSettingDlg::OnBikeMode() {
    Control(c::kShockSlider)->setEnabled(!IsChecked(c::kBikeMode));
}

void CSettingDlg::OnSwitch(int id) {
    const bool mic = id == c::kMicOn || id == c::kMicOff;
    const bool on = id == c::kMicOn || id == c::kVoiceOn;
    SetChecked(mic ? c::kMicOn : c::kVoiceOn, on);
    SetChecked(mic ? c::kMicOff : c::kVoiceOff, !on);
}

void CSettingDlg::OnSave() {
    if (SaveSettings()) {
        accept();
        return;
    }
    switch (m_lastOutcome) {
        case SaveOutcome::kSharesNot100:
            ShowMessage(sid::kStorageSumError);
            break;
        case SaveOutcome::kFieldNotSelected:
            ShowMessage(sid::kFieldNotSelected, PairText(FieldNameId(m_lastField)));
            break;
        default:
            ShowMessage(sid::kSettingsNotSaved);
            break;
    }
}

void CSettingDlg::ShowMessage(int textId, const QString& argument) {
    const QString text = FormatPairString(textId, m_langId, argument);
    m_lastMessage = text;
    std::printf("[Settings] message: %s\n", text.toUtf8().constData());
    if (m_autoAnswer)
        return;
    QMessageBox box(QMessageBox::Warning, PairText(sid::kSettingsErrorCaption), text,
                    QMessageBox::Ok, this);
    box.setPalette(WindowPalette());
    box.exec();
}

}  // namespace locket
