#pragma once

#include "core/Image.h"

#include <atomic>
#include <chrono>
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
// domain, an Error of kTransportErrorDomain, or the JSON parser's own exception.
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
    // Transport failures carry libcurl's code and message.
    static constexpr const char* kTransportErrorDomain = "HTTPClient";

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

// The HTML page that typesets a formula with MathJax 3: the MathML when there is some,
// else the LaTeX as display math without its array environment lines.
std::string formulaPage(const std::string& latex, const std::optional<std::string>& mathml);

} // namespace ombrix
