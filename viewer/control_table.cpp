#include "viewer/control_table.h"

#include "viewer/control_ids.h"

namespace locket {

namespace {

using K = ControlKind;

constexpr ControlDef kControls[] = {
    {ctl::kMinimize, K::kButton, {451, 452, 451, 0}},
    {ctl::kClose, K::kButton, {434, 435, 434, 0}},
    {ctl::kSeekSlider, K::kSlider, {443, 444, 0, 0}},
    {ctl::kVolumeSlider, K::kSlider, {422, 423, 420, 420}},
    {ctl::kBrightSlider, K::kSlider, {422, 423, 420, 420}},
    {ctl::kPre, K::kButton, {472, 473, 472, 0}},
    {ctl::kPlay, K::kButton, {469, 0, 0, 0}},
    {ctl::kStop, K::kButton, {489, 490, 489, 0}},
    {ctl::kNext, K::kButton, {460, 461, 460, 0}},
    {ctl::kPause, K::kButton, {511, 0, 0, 0}},
    {ctl::kBack10, K::kButton, {478, 479, 478, 0}},
    {ctl::kForward10, K::kButton, {481, 482, 481, 0}},
    {ctl::kOpen, K::kButton, {466, 467, 466, 0}},
    {ctl::kList, K::kList, {}},
    {ctl::kCurrentTime, K::kLabel, {}},
    {ctl::kTotalTime, K::kLabel, {}},
    {ctl::kSettings, K::kButton, {484, 485, 484, 0}},
    {ctl::kCapture, K::kButton, {425, 426, 425, 0}},
    {ctl::kFullScreen, K::kButton, {440, 441, 440, 0}},
    {ctl::kPreviousSize, K::kButton, {502, 503, 502, 0}},
    {ctl::kMute, K::kSkinCheck, {495, 494, 0, 495}},
    {ctl::kSwap, K::kButton, {431, 432, 431, 433}},
    {ctl::kSwapFull, K::kButton, {517, 516, 517, 515}},
    {ctl::kMapTab, K::kSkinCheck, {448, 449, 0, 450}},
    {ctl::kRearTab, K::kSkinCheck, {475, 476, 0, 477}},
    {ctl::kMapEnlarge, K::kButton, {428, 429, 428, 430}},
    {ctl::kMapView, K::kMap, {}},
    {ctl::kListHeader, K::kPicture, {540, 0, 0, 0}},
    {ctl::kZoom, K::kButton, {496, 497, 496, 0}},
    {ctl::kSelectAll, K::kCheckBox, {}},
    {ctl::kDownload, K::kButton, {505, 506, 505, 0}},
    {ctl::kCatEvent, K::kButton, {437, 438, 437, 0}},
    {ctl::kCatParking, K::kButton, {457, 458, 457, 0}},
    {ctl::kCatDriving, K::kButton, {463, 464, 463, 0}},
    {ctl::kCatManual, K::kButton, {445, 446, 445, 0}},
    {ctl::kCatAll, K::kButton, {417, 418, 417, 0}},
    {ctl::kGraph, K::kGraph, {}},
    {ctl::kMirror, K::kSkinCheck, {454, 455, 0, 454}},
    {ctl::kBrightIcon, K::kButton, {424, 0, 0, 0}},
    {ctl::kFrontView, K::kVideo, {}},
    {ctl::kRearView, K::kVideo, {}},
    {ctl::kSpeed, K::kLabel, {}},
    {ctl::kBarMiddle, K::kBar, {538, 0, 0, 0}},
    {ctl::kBarTop, K::kBar, {537, 0, 0, 0}},
    {ctl::kBarBottom, K::kBar, {539, 0, 0, 0}},
    {ctl::kTurnLeft, K::kPicture, {536, 0, 0, 0}},
    {ctl::kAccel, K::kPicture, {530, 0, 0, 0}},
    {ctl::kBrake, K::kPicture, {535, 0, 0, 0}},
    {ctl::kTurnRight, K::kPicture, {534, 0, 0, 0}},
    {ctl::kGear, K::kPicture, {528, 0, 0, 0}},
    {ctl::kRpmGauge, K::kPicture, {521, 0, 0, 0}},
    {ctl::kSpeedGauge, K::kPicture, {522, 0, 0, 0}},
    {ctl::kTempGauge, K::kPicture, {520, 0, 0, 0}},
    {ctl::kRpmValue, K::kLabel, {}},
    {ctl::kTempValue, K::kLabel, {}},
    {ctl::kSpeedValue, K::kLabel, {}},
};

constexpr ControlPlace kWindowPlaces[] = {
    {ctl::kZoom, 431, 471, 21, 21},         {ctl::kSettings, 546, 471, 21, 21},
    {ctl::kMirror, 599, 470, 30, 23},       {ctl::kCapture, 484, 472, 30, 20},
    {ctl::kFullScreen, 923, 5, 25, 25},     {ctl::kMinimize, 898, 5, 25, 25},
    {ctl::kClose, 948, 5, 25, 25},          {ctl::kSwap, 324, 39, 161, 24},
    {ctl::kMapEnlarge, 485, 39, 161, 24},   {ctl::kRearTab, 650, 250, 161, 24},
    {ctl::kMapTab, 809, 250, 161, 24},      {ctl::kCatDriving, 648, 39, 65, 24},
    {ctl::kCatEvent, 713, 39, 65, 24},      {ctl::kCatParking, 778, 39, 65, 24},
    {ctl::kCatManual, 843, 39, 65, 24},     {ctl::kCatAll, 908, 39, 65, 24},
    {ctl::kDownload, 825, 217, 140, 25},    {ctl::kSelectAll, 650, 218, 117, 20},
    {ctl::kOpen, 28, 473, 19, 17},          {ctl::kStop, 87, 474, 15, 17},
    {ctl::kPre, 137, 473, 31, 17},          {ctl::kBack10, 198, 473, 25, 16},
    {ctl::kPlay, 261, 473, 15, 17},         {ctl::kPause, 261, 473, 15, 17},
    {ctl::kForward10, 313, 473, 25, 16},    {ctl::kNext, 368, 473, 31, 17},
    {ctl::kSeekSlider, 92, 432, 410, 14},   {ctl::kVolumeSlider, 715, 476, 81, 14},
    {ctl::kBrightSlider, 864, 476, 81, 14}, {ctl::kBrightIcon, 832, 470, 24, 25},
    {ctl::kMute, 684, 472, 27, 22},         {ctl::kCurrentTime, 25, 433, 56, 14},
    {ctl::kTotalTime, 495, 433, 56, 14},    {ctl::kSpeed, 580, 433, 56, 14},
};

constexpr ControlPlace kFullScreenPlaces[] = {
    {ctl::kClose, 44, 8, 0, 0, true, false},         {ctl::kPreviousSize, 69, 8, 0, 0, true, false},
    {ctl::kMinimize, 94, 8, 0, 0, true, false},      {ctl::kSwapFull, 260, 7, 0, 0, true, false},
    {ctl::kBrightSlider, 100, 27, 0, 0, true, true}, {ctl::kBrightIcon, 134, 33, 0, 0, true, true},
    {ctl::kVolumeSlider, 225, 27, 0, 0, true, true}, {ctl::kMute, 262, 31, 0, 0, true, true},
    {ctl::kNext, 350, 27, 0, 0, true, true},         {ctl::kForward10, 401, 27, 0, 0, true, true},
    {ctl::kPlay, 446, 27, 0, 0, true, true},         {ctl::kPause, 446, 27, 0, 0, true, true},
    {ctl::kBack10, 501, 27, 0, 0, true, true},       {ctl::kPre, 546, 27, 0, 0, true, true},
    {ctl::kStop, 597, 27, 0, 0, true, true},         {ctl::kCurrentTime, 40, 20, 0, 0, false, true},
    {ctl::kSeekSlider, 40, 40, 0, 0, false, true},   {ctl::kTotalTime, 375, 20, 0, 0, false, true},
    {ctl::kSpeed, 485, 27, 0, 0, false, true},
};

}  // namespace

std::span<const ControlDef> MainWindowControls() {
    return kControls;
}

std::span<const ControlPlace> WindowLayoutPlaces() {
    return kWindowPlaces;
}

std::span<const ControlPlace> FullScreenLayoutPlaces() {
    return kFullScreenPlaces;
}

}  // namespace locket
