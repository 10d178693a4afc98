#include "pdfkit/CancelToken.h"

#include "pdfkit/MuContext.h"

#include <atomic>

namespace ombrix::pdfkit {

struct CancelToken::Cookie {
    fz_cookie cookie{};
};

CancelToken::CancelToken() : cookie_(std::make_unique<Cookie>()) {}

CancelToken::~CancelToken() = default;

// MuPDF polls `abort` as a plain int; our own reads and writes of it are atomic.
void CancelToken::cancel() {
    std::atomic_ref<int>(cookie_->cookie.abort).store(1, std::memory_order_relaxed);
}

bool CancelToken::isCancelled() const {
    return std::atomic_ref<int>(cookie_->cookie.abort).load(std::memory_order_relaxed) != 0;
}

namespace mu {

fz_cookie* CookieAccess::cookie(const CancelToken* token) {
    return token ? &token->cookie_->cookie : nullptr;
}

bool CookieAccess::cancelled(const CancelToken* token) {
    return token && token->isCancelled();
}

} // namespace mu

} // namespace ombrix::pdfkit
