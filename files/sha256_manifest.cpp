#include "files/sha256_manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include <openssl/evp.h>

namespace locket {

namespace {

struct FdCloser {
    void operator()(int* fd) const {
        ::close(*fd);
        delete fd;
    }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

}  // namespace

std::string CSha256Manifest::HashFile(const std::string& path) {
    const int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (raw < 0)
        return {};
    std::unique_ptr<int, FdCloser> fd(new int(raw));
    std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return {};
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[1 << 20]);
    for (;;) {
        const ssize_t n = ::read(raw, buffer.get(), 1 << 20);
        if (n < 0)
            return {};
        if (n == 0)
            break;
        if (EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<size_t>(n)) != 1)
            return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

bool CSha256Manifest::AddFile(const std::string& path, const std::string& listedName) {
    return AddHash(HashFile(path), listedName);
}

bool CSha256Manifest::AddHash(const std::string& hash, const std::string& listedName) {
    if (hash.empty())
        return false;
    std::string name;
    bool escaped = false;
    for (char c : listedName) {
        if (c == '\\') {
            name += "\\\\";
            escaped = true;
        } else if (c == '\n') {
            name += "\\n";
            escaped = true;
        } else {
            name += c;
        }
    }
    m_lines.push_back((escaped ? "\\" : "") + hash + "  " + name + "\n");
    return true;
}

std::string CSha256Manifest::Text() const {
    std::string text;
    for (const std::string& line : m_lines)
        text += line;
    return text;
}

bool CSha256Manifest::Write(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const std::string text = Text();
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace locket
