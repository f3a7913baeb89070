// Running outside programs (ffmpeg, ffprobe) and cutting what ffmpeg writes into access units,
// for the tests and benchmarks that check our files against a reader nobody here wrote.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace locket::testsupport {

// Runs a shell command; returns its exit status and appends its standard output to *out.
inline int RunCommand(const std::string& command, std::string* out) {
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out->append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Splits an Annex B stream made with access unit delimiters at each delimiter's start code
// (00 00 00 01 09: emulation prevention keeps it out of NAL payloads).
inline std::vector<std::vector<uint8_t>> AccessUnits(const std::vector<uint8_t>& s) {
    const uint8_t aud[] = {0, 0, 0, 1, 9};
    std::vector<std::vector<uint8_t>> units;
    auto at = std::search(s.begin(), s.end(), aud, aud + 5);
    while (at != s.end()) {
        const auto next = std::search(at + 5, s.end(), aud, aud + 5);
        units.emplace_back(at, next);
        at = next;
    }
    return units;
}

}  // namespace locket::testsupport
