#include "tools/locket-record/settings_file.h"

#include <cstdio>
#include <memory>

#include "tat/card_layout.h"

namespace locket {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

bool WriteText(const std::string& path, const std::string& text) {
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    return std::fclose(f.release()) == 0 && ok;
}

}  // namespace

std::string RecorderSettingsText(const RecordOptions& o) {
    // The recorder calls 1280x720 and above "hd", smaller fronts "d1".
    const char* dim = o.width >= 1280 && o.height >= 720 ? "hd" : "d1";
    const RecordingTime& t = o.start;
    char text[1024];
    std::snprintf(text, sizeof text,
                  "[blackbox]\r\n"
                  "model=LOCKET KX2\r\n"
                  "version=1.2.07\r\n"
                  "dim_front=%s\r\n"
                  "power_off_vlt=11800\r\n"
                  "mic_in=1\r\n"
                  "voice_out=1\r\n"
                  "acc_level=3\r\n"
                  "motion_level=3\r\n"
                  "tat_update=0\r\n"
                  "[capacity]\r\n"
                  "const=50\r\n"
                  "event=20\r\n"
                  "park=20\r\n"
                  "manual=10\r\n"
                  "[time]\r\n"
                  "set=0\r\n"
                  "year=%d\r\n"
                  "month=%d\r\n"
                  "day=%d\r\n"
                  "hour=%d\r\n"
                  "min=%d\r\n"
                  "sec=%d\r\n",
                  dim, t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

bool WriteSettingsFiles(const RecordOptions& o, std::string* error) {
    const std::string text = RecorderSettingsText(o);
    for (const char* file : {kSettingsFile, kSettingsCopyFile}) {
        const std::string path = JoinPath(o.cardDir, file);
        if (!WriteText(path, text)) {
            *error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

}  // namespace locket
