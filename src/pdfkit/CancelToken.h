#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <memory>

namespace ombrix::pdfkit {

namespace mu {
struct CookieAccess;
}

// Lets one thread stop a render or text extraction another thread is running. Shared
// between threads (by reference or shared_ptr); an operation in progress notices soon
// after cancel() and returns nothing. Give each running operation its own token: MuPDF
// writes its progress into the one it is handed.
class CancelToken {
public:
    CancelToken();
    ~CancelToken();
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    void cancel();            // any thread
    bool isCancelled() const; // any thread

private:
    friend struct mu::CookieAccess;
    struct Cookie;
    std::unique_ptr<Cookie> cookie_;
};

} // namespace ombrix::pdfkit

OMBRIX_API_END
