#include "document/BrainFingerprint.h"

#include "core/Uuid.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix::BrainFingerprint {

namespace {

std::array<unsigned char, 8> littleEndian(std::uint64_t bits) {
    std::array<unsigned char, 8> out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
    return out;
}

// The first kHeadBytes of the file, or nothing when it cannot be opened or read whole.
std::optional<std::string> readHead(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string head(kHeadBytes, '\0');
    std::size_t filled = 0;
    bool failed = false;
    while (filled < head.size()) {
        ssize_t n = ::read(fd, head.data() + filled, head.size() - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed) {
        return std::nullopt;
    }
    head.resize(filled);
    return head;
}

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

std::optional<std::string> compute(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    auto size = static_cast<std::int64_t>(info.st_size);
    double mtime =
        static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;

    std::uint64_t sizeBits = static_cast<std::uint64_t>(size);
    std::uint64_t timeBits = 0;
    static_assert(sizeof(timeBits) == sizeof(mtime));
    std::memcpy(&timeBits, &mtime, sizeof(mtime));
    auto sizeBytes = littleEndian(sizeBits);
    auto timeBytes = littleEndian(timeBits);

    std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), sizeBytes.data(), sizeBytes.size()) != 1 ||
        EVP_DigestUpdate(context.get(), timeBytes.data(), timeBytes.size()) != 1) {
        return std::nullopt;
    }
    // Only a regular file has a head to read: a FIFO would block the read forever.
    if (auto head = S_ISREG(info.st_mode) ? readHead(path) : std::nullopt; head && !head->empty()) {
        if (EVP_DigestUpdate(context.get(), head->data(), head->size()) != 1) {
            return std::nullopt;
        }
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
        return std::nullopt;
    }

    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex.push_back(kHex[digest[i] >> 4]);
        hex.push_back(kHex[digest[i] & 0x0f]);
    }
    return hex;
}

std::string fallback() {
    std::string s = Uuid::random().toString();
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

} // namespace ombrix::BrainFingerprint
