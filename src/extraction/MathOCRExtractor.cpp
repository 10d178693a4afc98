#include "extraction/MathOCRExtractor.h"

#include "core/Error.h"
#include "core/Executor.h"
#include "core/HtmlEscape.h"
#include "core/SerialQueue.h"
#include "core/Uuid.h"
#include "pdfkit/ImageCodec.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

namespace ombrix {

namespace {

// No formula answer comes near this; anything bigger is not one of ours.
constexpr std::size_t kMaxAnswerBytes = 32u << 20;

std::exception_ptr mathError(int code, std::string description) {
    return std::make_exception_ptr(
        Error(MathOCRExtractor::kErrorDomain, code, std::move(description)));
}

std::string resolveServerURL(std::optional<std::string> given) {
    if (given) {
        return *given;
    }
    if (const char* env = std::getenv(MathOCRExtractor::kServerURLVariable); env && *env) {
        return env;
    }
    return MathOCRExtractor::kDefaultServerURL;
}

bool isValidUTF8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<std::string*>(user);
    const std::size_t n = size * count;
    if (body->size() + n > kMaxAnswerBytes) {
        return 0; // aborts the transfer with CURLE_WRITE_ERROR
    }
    body->append(data, n);
    return n;
}

struct CurlHandle {
    CURL* curl = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlHandle() {
        curl_slist_free_all(headers);
        if (curl) {
            curl_easy_cleanup(curl);
        }
    }
};

int stopWhenCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancelled = static_cast<const std::atomic<bool>*>(user);
    return cancelled && cancelled->load() ? 1 : 0; // non-zero aborts the transfer
}

MathOCROutcome post(const std::string& url, std::chrono::milliseconds timeout,
                    const std::string& boundary, const std::string& body,
                    const std::atomic<bool>* cancelled) {
    if (cancelled && cancelled->load()) {
        return std::make_exception_ptr(Error(MathOCRExtractor::kTransportErrorDomain,
                                             CURLE_ABORTED_BY_CALLBACK, "Cancelled."));
    }
    initialiseCurl();
    CurlHandle h;
    if (!h.curl) {
        return std::make_exception_ptr(Error(MathOCRExtractor::kTransportErrorDomain,
                                             CURLE_FAILED_INIT, "Could not start a request."));
    }
    const std::string contentType = "Content-Type: multipart/form-data; boundary=" + boundary;
    h.headers = curl_slist_append(h.headers, contentType.c_str());
    // curl would otherwise hold a larger body back waiting for "100 Continue".
    h.headers = curl_slist_append(h.headers, "Expect:");

    std::string answer;
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h.curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h.curl, CURLOPT_POST, 1L);
    curl_easy_setopt(h.curl, CURLOPT_HTTPHEADER, h.headers);
    curl_easy_setopt(h.curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(h.curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h.curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(h.curl, CURLOPT_NOSIGNAL, 1L);
    // The server is on this machine; a proxy from the environment must not see the request.
    curl_easy_setopt(h.curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(h.curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(h.curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(h.curl, CURLOPT_ERRORBUFFER, message);
    if (cancelled) {
        curl_easy_setopt(h.curl, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
        curl_easy_setopt(h.curl, CURLOPT_XFERINFODATA, cancelled);
        curl_easy_setopt(h.curl, CURLOPT_NOPROGRESS, 0L);
    }

    const CURLcode rc = curl_easy_perform(h.curl);
    if (rc != CURLE_OK) {
        std::string text = message[0] ? message : curl_easy_strerror(rc);
        return std::make_exception_ptr(
            Error(MathOCRExtractor::kTransportErrorDomain, static_cast<int>(rc), text));
    }
    long status = 0;
    curl_easy_getinfo(h.curl, CURLINFO_RESPONSE_CODE, &status);
    return MathOCRExtractor::interpretAnswer(status, answer);
}

} // namespace

MathOCRExtractor::MathOCRExtractor(std::optional<std::string> serverURL,
                                   std::chrono::milliseconds timeout)
    : serverURL_(resolveServerURL(std::move(serverURL))), timeout_(timeout),
      queue_(std::make_unique<SerialQueue>("com.ombrix.mathocr")) {}

MathOCRExtractor::~MathOCRExtractor() = default;

std::string MathOCRExtractor::multipartBody(const std::string& png, const std::string& boundary) {
    std::string body;
    body.reserve(png.size() + 200);
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"image.png\"\r\n";
    body += "Content-Type: image/png\r\n\r\n";
    body += png;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

MathOCROutcome MathOCRExtractor::interpretAnswer(long status, const std::string& body) {
    if (status != 200) {
        return mathError(kBadStatus, "Server returned status " + std::to_string(status) + ".");
    }
    if (body.empty()) {
        return mathError(kEmptyResponse, "Empty response from server.");
    }
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(body);
    } catch (...) {
        return std::current_exception();
    }
    if (!json.is_object()) {
        return mathError(kNotAnObject, "Invalid JSON. Server said: " +
                                           (isValidUTF8(body) ? body : "Unknown raw data"));
    }
    if (auto latex = json.find("latex"); latex != json.end() && latex->is_string()) {
        MathOCRResult result{latex->get<std::string>(), std::nullopt};
        if (auto mathml = json.find("mathml"); mathml != json.end() && mathml->is_string()) {
            result.mathml = mathml->get<std::string>();
        }
        return result;
    }
    if (auto detail = json.find("detail"); detail != json.end() && detail->is_array() &&
                                           !detail->empty() && detail->front().is_object()) {
        const auto& first = detail->front();
        if (auto msg = first.find("msg"); msg != first.end() && msg->is_string()) {
            return mathError(kValidationError, "Validation error: " + msg->get<std::string>());
        }
    }
    if (auto message = json.find("message"); message != json.end() && message->is_string()) {
        return mathError(kServerError, message->get<std::string>());
    }
    return mathError(kServerError, "Unknown error from server.");
}

void MathOCRExtractor::extractMath(const Image& image, Completion completion,
                                   std::shared_ptr<const std::atomic<bool>> cancelled) {
    auto png = image.isNull() ? std::nullopt : pdfkit::encodePNG(image);
    if (!png) {
        completion(mathError(kInvalidImage, "Invalid image format."));
        return;
    }
    std::string boundary = Uuid::random().toString();
    std::transform(boundary.begin(), boundary.end(), boundary.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    queue_->post([url = serverURL_, timeout = timeout_, boundary,
                  body = multipartBody(*png, boundary), completion = std::move(completion),
                  cancelled = std::move(cancelled)] {
        completion(post(url, timeout, boundary, body, cancelled.get()));
    });
}

MathOCRExtractor::Completion MathOCRExtractor::onMainQueue(Completion completion) {
    return [completion = std::move(completion)](MathOCROutcome outcome) {
        mainQueue().post([completion, outcome = std::move(outcome)] { completion(outcome); });
    };
}

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

} // namespace

std::string formulaPage(const std::string& latex, const std::optional<std::string>& mathml) {
    std::string content;
    if (mathml && !mathml->empty()) {
        content = *mathml;
    } else {
        std::string shown = latex;
        replaceAll(shown, "\\begin{array}{l}", "");
        replaceAll(shown, "\\end{array}", "");
        content = "\\[ " + escapeHTML(shown) + " \\]";
    }
    return R"html(<!DOCTYPE html>
<html>
<head>
<meta charset="UTF-8">
<meta name="viewport" content="width=device-width, initial-scale=1.0">
<!-- 🔥 MathJax 3 (MathML & LaTeX Support) -->
<script>
window.MathJax = {
  tex: {
    inlineMath: [['$', '$'], ['\\(', '\\)']],
    displayMath: [['$$', '$$'], ['\\[', '\\]']],
    processEscapes: true
  },
  svg: {
    fontCache: 'global'
  }
};
</script>
<script id="MathJax-script" async src="https://cdn.jsdelivr.net/npm/mathjax@3/es5/tex-mml-chtml.js"></script>
<style>
body {
  display: flex;
  justify-content: center;
  align-items: center;
  min-height: 100vh;
  margin: 0;
  padding: 20px;
  box-sizing: border-box;
  background: transparent;
  font-size: 28px;
  color: #000;
  overflow-x: auto;
}
@media (prefers-color-scheme: dark) {
  body { color: #fff; }
}
math { font-size: 2.5em; }
.math-container { width: 100%; text-align: center; }
</style>
</head>
<body>
<div class="math-container">
)html" + content +
           "\n</div>\n</body>\n</html>";
}

} // namespace ombrix
