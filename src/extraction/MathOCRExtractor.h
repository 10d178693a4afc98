#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include "core/Image.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace ombrix {

class SerialQueue;

struct MathOCRResult {
    std::string latex;
    std::optional<std::string> mathml;

    bool operator==(const MathOCRResult&) const = default;
};

// Either the recognised formula or why there is none: an Error of MathOCRExtractor's
// domain or of kTransportErrorDomain. The server's LaTeX and MathML come without control
// characters other than tabs and line breaks.
using MathOCROutcome = std::variant<MathOCRResult, std::exception_ptr>;

// The client of the local formula-recognition server: posts a PNG of the formula as a
// multipart form and reads LaTeX (and MathML when the server has it) from the JSON answer.
// Requests run one after another on the client's own worker thread; destroying the client
// waits for the one in flight, which the timeout bounds.
class MathOCRExtractor {
public:
    static constexpr const char* kErrorDomain = "MathOCR";
    static constexpr int kInvalidImage = 0;    // "Invalid image format."
    static constexpr int kEmptyResponse = 1;   // "Empty response from server."
    static constexpr int kBadStatus = 2;       // "Server returned status N."
    static constexpr int kValidationError = 3; // "Validation error: msg"
    static constexpr int kServerError = 4;     // the server's message
    static constexpr int kNotAnObject = 5;     // "Invalid JSON. Server said: body"
    static constexpr int kAnswerTooLarge = 6;  // more than kMaxAnswerBytes
    static constexpr int kNotJSON = 7;         // a body the JSON parser refuses
    // Transport failures carry libcurl's code and a message of ours.
    static constexpr const char* kTransportErrorDomain = "HTTPClient";

    // No formula answer comes near this; the transfer stops once a body is longer.
    static constexpr std::size_t kMaxAnswerBytes = 4u << 20;
    // What the server says goes into messages cut to this many characters, without
    // control characters.
    static constexpr std::size_t kMaxServerText = 300;

    static constexpr const char* kDefaultServerURL = "http://127.0.0.1:8000/extract";
    static constexpr const char* kServerURLVariable = "OMBRIX_MATH_SERVER";
    static constexpr std::chrono::milliseconds kDefaultTimeout{60000};

    using Completion = std::function<void(MathOCROutcome)>;

    // `serverURL` when given, else $OMBRIX_MATH_SERVER when set and not empty, else the
    // loopback default.
    explicit MathOCRExtractor(std::optional<std::string> serverURL = std::nullopt,
                              std::chrono::milliseconds timeout = kDefaultTimeout);
    ~MathOCRExtractor();
    MathOCRExtractor(const MathOCRExtractor&) = delete;
    MathOCRExtractor& operator=(const MathOCRExtractor&) = delete;

    const std::string& serverURL() const { return serverURL_; }
    std::chrono::milliseconds timeout() const { return timeout_; }

    // Exactly one completion call. It runs on the client's worker thread, except for an
    // image that cannot be encoded, which completes at once on the caller's thread.
    // Setting `cancelled` (any thread) ends the request early with a transport error.
    void extractMath(const Image& image, Completion completion,
                     std::shared_ptr<const std::atomic<bool>> cancelled = nullptr);

    // The same completion, handed over to the main queue.
    static Completion onMainQueue(Completion completion);

    // The request body for a PNG and a boundary, as it goes on the wire.
    static std::string multipartBody(const std::string& png, const std::string& boundary);
    // The outcome of an answer that arrived: HTTP status and body.
    static MathOCROutcome interpretAnswer(long status, const std::string& body);

private:
    std::string serverURL_;
    std::chrono::milliseconds timeout_;
    std::unique_ptr<SerialQueue> queue_;
};

// The HTML page that typesets a formula with MathJax 3 loaded from `mathJaxBundle` (a URL
// of the program's own copy; the page may load nothing from anywhere else): the MathML
// when there is some that passes mathml::sanitize, else the LaTeX as display math without
// its array environment lines. Without a bundle no script runs and the LaTeX is shown as
// text.
std::string formulaPage(const std::string& latex, const std::optional<std::string>& mathml,
                        const std::optional<std::string>& mathJaxBundle);

} // namespace ombrix

OMBRIX_API_END
