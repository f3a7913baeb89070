// The viewer's own settings, config.cfg: picture brightness, playback volume, the unit of
// speeds and the map's tile server.
#pragma once

#include <string>

namespace locket {

struct ViewerConfig {
    int brightness = 0;      // -5..5
    int volume = 50;         // 0..99
    bool speedMph = false;   // speedunit=mph (else km/h)
    std::string tileServer;  // tileserver=https://.../{z}/{x}/{y}.png; empty: the default
};

// config.cfg in `folder`, or in the per-user config folder ($XDG_CONFIG_HOME/locket-viewer)
// when `folder` is empty; the folder is created when missing.
std::string ViewerConfigPath(const std::string& folder);

// Creates an empty file when there is none. A missing key or a value outside its range reads as
// the default: a hand-edited file must not reach the decoder or the gain out of range.
ViewerConfig ReadViewerConfig(const std::string& path);
// Writes brightness and volume; the unit is written by its own toggle, the tile server only by
// hand.
bool WriteViewerConfig(const std::string& path, const ViewerConfig& config);
bool WriteSpeedUnit(const std::string& path, bool mph);

}  // namespace locket
