// Control ids of the main window: every table, handler and test names controls by these.
#pragma once

namespace locket::ctl {

inline constexpr int kMinimize = 1000;
inline constexpr int kClose = 1001;
inline constexpr int kSeekSlider = 1002;
inline constexpr int kVolumeSlider = 1004;
inline constexpr int kPre = 1005;
inline constexpr int kPlay = 1006;
inline constexpr int kStop = 1007;
inline constexpr int kNext = 1008;
inline constexpr int kBack10 = 1009;
inline constexpr int kForward10 = 1010;
inline constexpr int kOpen = 1012;
inline constexpr int kList = 1013;
inline constexpr int kCurrentTime = 1014;
inline constexpr int kTotalTime = 1015;
inline constexpr int kSettings = 1016;
inline constexpr int kCapture = 1017;
inline constexpr int kFullScreen = 1018;
inline constexpr int kMute = 1023;
inline constexpr int kPreviousSize = 1025;
inline constexpr int kSwap = 1097;
inline constexpr int kSwapFull = 1098;
inline constexpr int kMapTab = 1099;
inline constexpr int kRearTab = 1100;
inline constexpr int kMapEnlarge = 1101;
inline constexpr int kMapView = 1106;
inline constexpr int kBrightSlider = 1112;
inline constexpr int kListHeader = 1114;
inline constexpr int kPause = 1120;
inline constexpr int kZoom = 1121;
inline constexpr int kSelectAll = 1136;
inline constexpr int kDownload = 1143;
inline constexpr int kCatEvent = 1150;
inline constexpr int kCatParking = 1151;
inline constexpr int kCatDriving = 1152;
inline constexpr int kCatManual = 1153;
inline constexpr int kCatAll = 1154;
inline constexpr int kGraph = 1156;
inline constexpr int kMirror = 1236;
inline constexpr int kBrightIcon = 1237;
inline constexpr int kFrontView = 1238;
inline constexpr int kRearView = 1239;
inline constexpr int kSpeed = 1240;
inline constexpr int kBarMiddle = 1241;
inline constexpr int kBarTop = 1242;
inline constexpr int kBarBottom = 1243;
inline constexpr int kTurnLeft = 1244;
inline constexpr int kAccel = 1245;
inline constexpr int kBrake = 1246;
inline constexpr int kTurnRight = 1247;
inline constexpr int kGear = 1248;
inline constexpr int kRpmGauge = 1249;
inline constexpr int kSpeedGauge = 1250;
inline constexpr int kTempGauge = 1251;
inline constexpr int kRpmValue = 1252;
inline constexpr int kTempValue = 1253;
inline constexpr int kSpeedValue = 1254;

// Timers.
inline constexpr int kRefreshTimer = 100;
inline constexpr int kPollTimer = 102;

}  // namespace locket::ctl
