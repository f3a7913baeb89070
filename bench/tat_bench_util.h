// Shared bits of the TAT benchmarks: a temporary folder and a stopwatch.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

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

}  // namespace locket::bench
