// A folder of its own for one test, and whole-file reads and writes, shared by every layer's tests.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace locket::testsupport {

// A fresh empty folder under the system's temporary folder, removed with the object; the tag
// names the folder so that one left behind by a crash shows whose it was.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("locket-" + tag + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;  // also when mkdtemp failed and the path is empty
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The whole file; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    return static_cast<bool>(f);
}

}  // namespace locket::testsupport
