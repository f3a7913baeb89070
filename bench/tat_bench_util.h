// Shared bits of the benchmarks: a temporary folder, a stopwatch, a median, and ffmpeg-made
// H.264 footage split into access units.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/external_command.h"

namespace locket::bench {

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tat-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Milliseconds taken by `f`, the best of `runs` runs.
template <typename F>
double BestMs(int runs, F&& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        std::chrono::duration<double, std::milli> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Access units of an Annex B file made with access unit delimiters.
inline std::vector<std::vector<uint8_t>> AccessUnits(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return testsupport::AccessUnits(std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {}));
}

// 48 pictures of ffmpeg's busy test pattern, a key frame every 24, with delimiters.
inline bool MakeStream(const std::string& path, const char* size) {
    return Shell(std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=") + size +
                 ":rate=30 -frames:v 48 -c:v libx264 -qp 8 -x264-params "
                 "aud=1:keyint=24:min-keyint=24:scenecut=0 -f h264 " +
                 path);
}

}  // namespace locket::bench
