#include "extraction/MathOCRExtractor.h"

#include "core/Error.h"
#include "core/Executor.h"
#include "core/HtmlEscape.h"
#include "core/SerialQueue.h"
#include "core/UnicodeText.h"
#include "core/Uuid.h"
#include "extraction/MathMLMarkup.h"
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

constexpr std::size_t kMaxAnswerBytes = MathOCRExtractor::kMaxAnswerBytes;

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

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Answer {
    std::string body;
    bool tooLarge = false;
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* answer = static_cast<Answer*>(user);
    const std::size_t n = size * count;
    if (answer->body.size() + n > kMaxAnswerBytes) {
        answer->tooLarge = true;
        return 0; // aborts the transfer with CURLE_WRITE_ERROR
    }
    answer->body.append(data, n);
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

// What the server said, fit for a message.
std::string serverText(const std::string& text) {
    return printableLine(text, MathOCRExtractor::kMaxServerText);
}

std::string tooLarge() {
    return "The formula server's answer is too large (over " +
           std::to_string(kMaxAnswerBytes >> 20) + " MB).";
}

// LaTeX and MathML keep their layout but lose what a terminal or a page would act on: C0
// controls other than tab and line breaks, DEL, and the C1 controls U+0080 to U+009F.
// Ill-formed bytes are kept as they are.
std::string withoutControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const std::optional<char32_t> c = nextCodePoint(text, at);
        if (c &&
            ((*c < 0x20 && *c != '\t' && *c != '\n' && *c != '\r') || (*c >= 0x7F && *c <= 0x9F))) {
            continue;
        }
        out.append(text, start, at - start);
    }
    return out;
}

// libcurl's texts name its own workings; the user is told what happened to the request.
std::string transportMessage(CURLcode rc, const std::string& url,
                             std::chrono::milliseconds timeout) {
    switch (rc) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return "The formula server's address is not an http or https URL: " + serverText(url);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return "Could not connect to the formula server at " + serverText(url) + ".";
    case CURLE_OPERATION_TIMEDOUT: {
        const auto ms = timeout.count();
        return "The formula server did not answer within " +
               (ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " seconds") +
               ".";
    }
    case CURLE_ABORTED_BY_CALLBACK:
        return "Cancelled.";
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return "The formula server closed the connection before answering.";
    default:
        return "The request to the formula server failed (transfer error " +
               std::to_string(static_cast<int>(rc)) + ").";
    }
}

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

    Answer answer;
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
    // A declared length over the limit stops the transfer before the body; collectBody
    // stops one that comes without.
    curl_easy_setopt(h.curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxAnswerBytes));
    curl_easy_setopt(h.curl, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(h.curl, CURLOPT_WRITEDATA, &answer);
    if (cancelled) {
        curl_easy_setopt(h.curl, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
        curl_easy_setopt(h.curl, CURLOPT_XFERINFODATA, cancelled);
        curl_easy_setopt(h.curl, CURLOPT_NOPROGRESS, 0L);
    }

    const CURLcode rc = curl_easy_perform(h.curl);
    if (rc == CURLE_FILESIZE_EXCEEDED || answer.tooLarge) {
        return mathError(MathOCRExtractor::kAnswerTooLarge, tooLarge());
    }
    if (rc != CURLE_OK) {
        return std::make_exception_ptr(Error(MathOCRExtractor::kTransportErrorDomain,
                                             static_cast<int>(rc),
                                             transportMessage(rc, url, timeout)));
    }
    long status = 0;
    curl_easy_getinfo(h.curl, CURLINFO_RESPONSE_CODE, &status);
    return MathOCRExtractor::interpretAnswer(status, answer.body);
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
    if (body.size() > kMaxAnswerBytes) {
        return mathError(kAnswerTooLarge, tooLarge());
    }
    const bool utf8 = isWellFormedUTF8(body);
    // Without exceptions: the parser's own texts mean nothing to the user.
    nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded()) {
        return mathError(kNotJSON,
                         utf8 ? "The formula server's answer was not JSON: " + serverText(body)
                              : std::string("The formula server's answer was not JSON."));
    }
    if (!json.is_object()) {
        return mathError(kNotAnObject, "Invalid JSON. Server said: " +
                                           (utf8 ? serverText(body) : "Unknown raw data"));
    }
    if (auto latex = json.find("latex"); latex != json.end() && latex->is_string()) {
        MathOCRResult result{withoutControls(latex->get<std::string>()), std::nullopt};
        if (auto mathml = json.find("mathml"); mathml != json.end() && mathml->is_string()) {
            result.mathml = withoutControls(mathml->get<std::string>());
        }
        return result;
    }
    if (auto detail = json.find("detail"); detail != json.end() && detail->is_array() &&
                                           !detail->empty() && detail->front().is_object()) {
        const auto& first = detail->front();
        if (auto msg = first.find("msg"); msg != first.end() && msg->is_string()) {
            return mathError(kValidationError,
                             "Validation error: " + serverText(msg->get<std::string>()));
        }
    }
    if (auto message = json.find("message"); message != json.end() && message->is_string()) {
        if (std::string text = serverText(message->get<std::string>()); !text.empty()) {
            return mathError(kServerError, text);
        }
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

std::string formulaPage(const std::string& latex, const std::optional<std::string>& mathml,
                        const std::optional<std::string>& mathJaxBundle) {
    // The page's one policy: nothing but our own MathJax copy runs or loads, and only the
    // scripts carrying this page's nonce run inline; a link or handler in the formula
    // cannot run script even if it got past the filters.
    const std::string nonce = Uuid::random().toString();
    std::string policy = "default-src 'none'; style-src 'unsafe-inline'; ";
    std::string content;
    std::string scripts;
    if (mathJaxBundle) {
        // The copy's scheme, such as "ombrix-mathjax:"; its components and fonts load from it.
        const std::string scheme = mathJaxBundle->substr(0, mathJaxBundle->find(':') + 1);
        policy += "script-src 'nonce-" + nonce + "' " + scheme + "; font-src " + scheme;
        if (auto safe = mathml && !mathml->empty() ? mathml::sanitize(*mathml) : std::nullopt) {
            content = *safe;
        } else {
            std::string shown = latex;
            replaceAll(shown, "\\begin{array}{l}", "");
            replaceAll(shown, "\\end{array}", "");
            content = "\\[ " + escapeHTML(shown) + " \\]";
        }
        scripts = R"html(<script nonce=")html" + nonce + R"html(">
window.MathJax = {
  loader: {
    load: ['ui/safe']
  },
  tex: {
    inlineMath: [['$', '$'], ['\\(', '\\)']],
    displayMath: [['$$', '$$'], ['\\[', '\\]']],
    processEscapes: true,
    packages: {'[-]': ['require']},
    autoload: {html: [], action: []}
  },
  svg: {
    fontCache: 'global'
  },
  safe: {
    allow: {URLs: 'none', classes: 'safe', cssIDs: 'none', styles: 'safe'}
  }
};
</script>
<script id="MathJax-script" nonce=")html" +
                  nonce + "\" async src=\"" + escapeHTML(*mathJaxBundle) + "\"></script>\n";
    } else {
        // Without a local copy nothing typesets: the formula's source is shown as it is.
        policy += "script-src 'none'";
        content = "<p class=\"note\">MathJax is not installed, so the formula is shown as "
                  "LaTeX.</p>\n<pre class=\"latex\">" +
                  escapeHTML(latex) + "</pre>";
    }
    return R"html(<!DOCTYPE html>
<html>
<head>
<meta charset="UTF-8">
<meta http-equiv="Content-Security-Policy" content=")html" +
           policy + R"html(">
<meta name="viewport" content="width=device-width, initial-scale=1.0">
<!-- 🔥 MathJax 3 (MathML & LaTeX Support) -->
)html" + scripts +
           R"html(<style>
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
.note { font-family: sans-serif; font-size: 14px; opacity: 0.7; }
pre.latex { font-size: 18px; white-space: pre-wrap; overflow-wrap: anywhere; }
</style>
</head>
<body>
<div class="math-container">
)html" + content +
           "\n</div>\n</body>\n</html>";
}

} // namespace ombrix
