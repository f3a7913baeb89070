// A checksum manifest in the format of `sha256sum`, so that `sha256sum -c` checks a set of
// exported files and the recording they came from.
#pragma once

#include <string>
#include <vector>

namespace locket {

class CSha256Manifest {
public:
    // Hashes the file at `path` and lists it under `listedName` (a name relative to the
    // manifest's folder, or an absolute path). False when the file cannot be read.
    bool AddFile(const std::string& path, const std::string& listedName);
    // Lists a hash taken elsewhere (HashFile); false for an empty one.
    bool AddHash(const std::string& hash, const std::string& listedName);
    // The manifest's text: one "HASH  NAME" line per file, names with a backslash or a line
    // break escaped as sha256sum does.
    std::string Text() const;
    // Writes Text() to `path`. False on any write failure.
    bool Write(const std::string& path) const;

    // Lower-case hex SHA-256 of a file's bytes; empty when it cannot be read.
    static std::string HashFile(const std::string& path);

private:
    std::vector<std::string> m_lines;
};

}  // namespace locket
