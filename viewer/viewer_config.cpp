#include "viewer/viewer_config.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

#include "platform/private_profile.h"

namespace locket {

namespace {

constexpr char kSection[] = "config";
// What a missing key reads as; the buffers of the file's values hold 10 bytes.
constexpr char kMissing[] = "-200";
constexpr size_t kValueBytes = 10;
constexpr size_t kTextBytes = 1024;

int ReadValue(const std::string& path, const char* key, int min, int max, int def) {
    const std::string text = GetPrivateProfileString(kSection, key, kMissing, kValueBytes, path);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || value < min || value > max)
        return def;
    return static_cast<int>(value);
}

}  // namespace

std::string ViewerConfigPath(const std::string& folder) {
    QString dir = QString::fromStdString(folder);
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
              QStringLiteral("/locket-viewer");
    QDir().mkpath(dir);
    return (dir + QStringLiteral("/config.cfg")).toStdString();
}

ViewerConfig ReadViewerConfig(const std::string& path) {
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
    } else if (FILE* created = std::fopen(path.c_str(), "wb")) {
        std::fclose(created);
    }
    ViewerConfig config;
    config.brightness = ReadValue(path, "brightness", -5, 5, config.brightness);
    config.volume = ReadValue(path, "volume", 0, 99, config.volume);
    config.speedMph =
        GetPrivateProfileString(kSection, "speedunit", "kmh", kValueBytes, path) == "mph";
    config.tileServer = GetPrivateProfileString(kSection, "tileserver", "", kTextBytes, path);
    return config;
}

bool WriteViewerConfig(const std::string& path, const ViewerConfig& config) {
    const ProfileWrite writes[] = {
        {kSection, "brightness", std::to_string(config.brightness)},
        {kSection, "volume", std::to_string(config.volume)},
    };
    return WritePrivateProfileStrings(writes, path);
}

bool WriteSpeedUnit(const std::string& path, bool mph) {
    const ProfileWrite writes[] = {{kSection, "speedunit", mph ? "mph" : "kmh"}};
    return WritePrivateProfileStrings(writes, path);
}

}  // namespace locket
