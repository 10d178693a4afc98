#include "core/FileUrl.h"

namespace ombrix {

namespace {

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string toFileUrl(const std::filesystem::path& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string bytes = std::filesystem::absolute(path).native();
    std::string url = "file://";
    url.reserve(url.size() + bytes.size() * 3);
    for (unsigned char c : bytes) {
        if (isUnreserved(c) || c == '/') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 0xF];
        }
    }
    return url;
}

std::optional<std::filesystem::path> fromFileUrl(std::string_view url) {
    constexpr std::string_view kScheme = "file://";
    if (url.size() < kScheme.size() ||
        !equalsIgnoringCase(url.substr(0, kScheme.size()), kScheme)) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(kScheme.size());
    if (auto end = rest.find_first_of("?#"); end != std::string_view::npos) {
        rest = rest.substr(0, end);
    }
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !equalsIgnoringCase(host, "localhost")) {
        return std::nullopt;
    }
    const std::string_view encoded = rest.substr(slash);
    std::string decoded;
    decoded.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        char c = encoded[i];
        if (c == '%') {
            if (i + 2 >= encoded.size()) {
                return std::nullopt;
            }
            const int hi = hexValue(encoded[i + 1]);
            const int lo = hexValue(encoded[i + 2]);
            if (hi < 0 || lo < 0) {
                return std::nullopt;
            }
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        if (c == '\0') {
            return std::nullopt;
        }
        decoded += c;
    }
    return std::filesystem::path(decoded);
}

std::filesystem::path lastPathComponent(const std::filesystem::path& path) {
    auto name = path.filename();
    if (name.empty()) {
        name = path.parent_path().filename();
    }
    return name;
}

} // namespace ombrix
