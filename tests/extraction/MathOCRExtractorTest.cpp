#include "extraction/MathOCRExtractor.h"

#include "core/Error.h"
#include "core/RunLoop.h"
#include "pdfkit/ImageCodec.h"
#include "support/FormulaServer.h"
#include "support/ScopedEnv.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace ombrix;
using ombrix::testing::FormulaServer;

namespace {

// A few pixels with some ink, so the PNG is a real one.
Image formulaImage() {
    std::vector<std::uint8_t> rgba(8 * 4 * 4, 255);
    for (int i = 0; i < 8 * 4; i += 3) {
        rgba[i * 4] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 0;
    }
    return Image(8, 4, std::move(rgba));
}

// Runs a request and waits for its one completion.
struct Call {
    MathOCROutcome outcome;
    std::thread::id thread;
};

Call extract(MathOCRExtractor& client, const Image& image = formulaImage()) {
    std::promise<Call> done;
    auto future = done.get_future();
    client.extractMath(image, [&done](MathOCROutcome outcome) {
        done.set_value(Call{std::move(outcome), std::this_thread::get_id()});
    });
    if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        throw std::runtime_error("the request never completed");
    }
    return future.get();
}

// The Error an outcome carries; a stand-in naming the success or the foreign exception.
Error errorOf(const MathOCROutcome& outcome) {
    if (const auto* error = std::get_if<std::exception_ptr>(&outcome)) {
        try {
            std::rethrow_exception(*error);
        } catch (const Error& e) {
            return e;
        } catch (const std::exception& e) {
            return Error("foreign", -1, e.what());
        }
    }
    return Error("none", -1, "the request succeeded");
}

// One connection on a loopback socket, its request kept byte for byte (the server library
// hands a multipart body only to its form parser).
class RawCaptureServer {
public:
    RawCaptureServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 1) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            throw std::runtime_error("no loopback socket");
        }
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serveOne(); });
    }
    ~RawCaptureServer() {
        thread_.join();
        ::close(fd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/extract"; }
    // Valid once the request's completion has run.
    std::string head;
    std::string body;

private:
    void serveOne() {
        int conn = ::accept(fd_, nullptr, nullptr);
        if (conn < 0) {
            return;
        }
        std::string data;
        char buffer[4096];
        std::size_t headEnd = std::string::npos, total = 0;
        for (ssize_t n; (n = ::recv(conn, buffer, sizeof buffer, 0)) > 0;) {
            data.append(buffer, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos &&
                (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
                std::smatch m;
                std::string h = data.substr(0, headEnd);
                std::regex length("\r\nContent-Length: *([0-9]+)", std::regex::icase);
                total =
                    headEnd + 4 + (std::regex_search(h, m, length) ? std::stoul(m[1].str()) : 0);
            }
            if (headEnd != std::string::npos && data.size() >= total) {
                break;
            }
        }
        head = data.substr(0, headEnd);
        body = data.substr(headEnd + 4);
        const std::string json = R"({"latex":"x"})";
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                  "Content-Length: " +
                                  std::to_string(json.size()) + "\r\nConnection: close\r\n\r\n" +
                                  json;
        ::send(conn, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(conn);
    }
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST(MathOCRRequestTest, PostsOnePNGAsAMultipartFormByteForByte) {
    RawCaptureServer server;
    MathOCRExtractor client(server.url());
    auto call = extract(client);
    ASSERT_TRUE(std::holds_alternative<MathOCRResult>(call.outcome));

    std::smatch m;
    ASSERT_TRUE(std::regex_search(server.head, m,
                                  std::regex("\r\nContent-Type: multipart/form-data; "
                                             "boundary=([0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-"
                                             "[89AB][0-9A-F]{3}-[0-9A-F]{12})\r\n")))
        << server.head;
    const std::string boundary = m[1].str();
    EXPECT_TRUE(server.head.starts_with("POST /extract HTTP/1.1\r\n")) << server.head;
    EXPECT_EQ(server.head.find("Expect:"), std::string::npos);
    EXPECT_NE(server.head.find("\r\nContent-Length: " + std::to_string(server.body.size())),
              std::string::npos);

    const std::string png = *pdfkit::encodePNG(formulaImage());
    const std::string expected = "--" + boundary +
                                 "\r\n"
                                 "Content-Disposition: form-data; name=\"file\"; "
                                 "filename=\"image.png\"\r\n"
                                 "Content-Type: image/png\r\n"
                                 "\r\n" +
                                 png + "\r\n--" + boundary + "--\r\n";
    EXPECT_EQ(server.body, expected);
}

TEST(MathOCRRequestTest, EachRequestHasAFreshBoundaryTheFormParserAccepts) {
    FormulaServer server;
    server.answer(200, R"({"latex":"x^2"})");
    MathOCRExtractor client(server.url());
    extract(client);
    const auto first = server.contentType();
    const auto file = server.file();
    EXPECT_EQ(file.filename, "image.png");
    EXPECT_EQ(file.content_type, "image/png");
    EXPECT_EQ(file.content, *pdfkit::encodePNG(formulaImage()));
    extract(client);
    EXPECT_NE(server.contentType(), first);
    EXPECT_EQ(server.requests(), 2);
}

TEST(MathOCRAnswerTest, LatexWithAndWithoutMathMLCompletesOnTheWorkerThread) {
    FormulaServer server;
    MathOCRExtractor client(server.url());

    server.answer(200, R"({"latex":"x^2"})");
    auto call = extract(client);
    ASSERT_TRUE(std::holds_alternative<MathOCRResult>(call.outcome));
    EXPECT_EQ(std::get<MathOCRResult>(call.outcome), (MathOCRResult{"x^2", std::nullopt}));
    EXPECT_NE(call.thread, std::this_thread::get_id());

    server.answer(200, R"({"latex":"\\frac{a}{b}","mathml":"<math><mfrac/></math>"})");
    EXPECT_EQ(std::get<MathOCRResult>(extract(client).outcome),
              (MathOCRResult{"\\frac{a}{b}", "<math><mfrac/></math>"}));

    server.answer(200, R"({"latex":"y","mathml":null})");
    EXPECT_EQ(std::get<MathOCRResult>(extract(client).outcome), (MathOCRResult{"y", std::nullopt}));
}

TEST(MathOCRAnswerTest, EveryFailingAnswerGetsItsCodeAndText) {
    struct Case {
        int status;
        std::string body;
        int code;
        std::string description;
    };
    const std::vector<Case> cases{
        {500, R"({"latex":"x"})", 2, "Server returned status 500."},
        {404, "", 2, "Server returned status 404."},
        {200, "", 1, "Empty response from server."},
        {422, R"({"detail":[{"msg":"field required"}]})", 2, "Server returned status 422."},
        {200, R"({"detail":[{"loc":["file"],"msg":"field required"}]})", 3,
         "Validation error: field required"},
        {200, R"({"detail":["field required"],"message":"bad upload"})", 4, "bad upload"},
        {200, R"({"message":"model not loaded"})", 4, "model not loaded"},
        {200, R"({"latex":42})", 4, "Unknown error from server."},
        {200, R"({})", 4, "Unknown error from server."},
        {200, "[1, 2]", 5, "Invalid JSON. Server said: [1, 2]"},
        {200, "\"only a string\"", 5, "Invalid JSON. Server said: \"only a string\""},
    };
    FormulaServer server;
    MathOCRExtractor client(server.url());
    for (const auto& c : cases) {
        server.answer(c.status, c.body);
        const auto& error = errorOf(extract(client).outcome);
        EXPECT_EQ(error.domain(), MathOCRExtractor::kErrorDomain) << c.body;
        EXPECT_EQ(error.code(), c.code) << c.body;
        EXPECT_EQ(error.description(), c.description) << c.body;
    }
}

TEST(MathOCRAnswerTest, ABodyThatIsNoJSONIsSaidInOurWords) {
    FormulaServer server;
    server.answer(200, "Internal error, see log");
    MathOCRExtractor client(server.url());
    const auto& error = errorOf(extract(client).outcome);
    EXPECT_EQ(error.domain(), MathOCRExtractor::kErrorDomain);
    EXPECT_EQ(error.code(), MathOCRExtractor::kNotJSON);
    EXPECT_EQ(error.description(),
              "The formula server's answer was not JSON: Internal error, see log");
}

TEST(MathOCRAnswerTest, AnImageThatCannotBeEncodedFailsAtOnceWithoutARequest) {
    FormulaServer server;
    MathOCRExtractor client(server.url());
    std::optional<MathOCROutcome> seen;
    std::thread::id thread;
    client.extractMath(Image(), [&](MathOCROutcome outcome) {
        seen = std::move(outcome);
        thread = std::this_thread::get_id();
    });
    ASSERT_TRUE(seen) << "completed before extractMath returned";
    EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_EQ(errorOf(*seen).code(), MathOCRExtractor::kInvalidImage);
    EXPECT_EQ(errorOf(*seen).description(), "Invalid image format.");
    EXPECT_EQ(server.requests(), 0);
}

TEST(MathOCRTransportTest, ASlowServerTimesOut) {
    FormulaServer server;
    server.answer(200, R"({"latex":"late"})");
    server.holdAnswers();
    MathOCRExtractor client(server.url(), std::chrono::milliseconds(200));
    const auto& error = errorOf(extract(client).outcome);
    EXPECT_EQ(error.domain(), MathOCRExtractor::kTransportErrorDomain);
    EXPECT_EQ(error.code(), 28) << error.description(); // CURLE_OPERATION_TIMEDOUT
    server.releaseSlowAnswers();
}

TEST(MathOCRTransportTest, NothingListeningIsAConnectionError) {
    int port;
    {
        // A port that was free a moment ago; nothing listens on it.
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        port = ntohs(addr.sin_port);
        ::close(fd);
    }
    MathOCRExtractor client("http://127.0.0.1:" + std::to_string(port) + "/extract");
    const auto& error = errorOf(extract(client).outcome);
    EXPECT_EQ(error.domain(), MathOCRExtractor::kTransportErrorDomain);
    EXPECT_EQ(error.code(), 7) << error.description(); // CURLE_COULDNT_CONNECT
}

TEST(MathOCRTransportTest, OnlyHTTPServersAreAsked) {
    MathOCRExtractor client("file:///etc/hostname");
    const auto& error = errorOf(extract(client).outcome);
    EXPECT_EQ(error.domain(), MathOCRExtractor::kTransportErrorDomain);
    EXPECT_EQ(error.code(), 1) << error.description(); // CURLE_UNSUPPORTED_PROTOCOL
}

TEST(MathOCRClientTest, ServerURLComesFromTheArgumentThenTheEnvironment) {
    {
        ombrix::testing::ScopedEnv unset(MathOCRExtractor::kServerURLVariable, nullptr);
        EXPECT_EQ(MathOCRExtractor().serverURL(), "http://127.0.0.1:8000/extract");
        EXPECT_EQ(MathOCRExtractor().timeout(), std::chrono::seconds(60));
    }
    ombrix::testing::ScopedEnv set(MathOCRExtractor::kServerURLVariable, "http://127.0.0.1:9/x");
    EXPECT_EQ(MathOCRExtractor().serverURL(), "http://127.0.0.1:9/x");
    EXPECT_EQ(MathOCRExtractor("http://[::1]:8000/extract").serverURL(),
              "http://[::1]:8000/extract");
    ombrix::testing::ScopedEnv empty(MathOCRExtractor::kServerURLVariable, "");
    EXPECT_EQ(MathOCRExtractor().serverURL(), "http://127.0.0.1:8000/extract");
}

TEST(MathOCRClientTest, OnMainQueueDeliversOnlyWhenTheMainQueueRuns) {
    auto loop = std::make_shared<RunLoop>();
    setMainQueue(loop);
    FormulaServer server;
    server.answer(200, R"({"latex":"z"})");
    MathOCRExtractor client(server.url());
    std::optional<std::thread::id> ranOn;
    std::optional<MathOCROutcome> outcome;
    client.extractMath(formulaImage(), MathOCRExtractor::onMainQueue([&](MathOCROutcome o) {
                           ranOn = std::this_thread::get_id();
                           outcome = std::move(o);
                       }));
    ASSERT_TRUE(loop->runUntil([&] { return ranOn.has_value(); }, std::chrono::seconds(60)));
    EXPECT_EQ(*ranOn, std::this_thread::get_id());
    EXPECT_EQ(std::get<MathOCRResult>(*outcome).latex, "z");
    setMainQueue(nullptr);
}

// The program's own MathJax copy, as the formula window names it.
const std::string kBundle = "ombrix-mathjax://mathjax/es5/tex-mml-chtml.js";

TEST(FormulaPageTest, LatexIsShownAsDisplayMathWithoutItsArrayLines) {
    const std::string latex = "\\begin{array}{l}a<b \\\\ c\\end{array}";
    const std::string page = formulaPage(latex, std::nullopt, kBundle);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"UTF-8\">\n"));
    EXPECT_TRUE(page.ends_with("<div class=\"math-container\">\n\\[ a&lt;b \\\\ c \\]\n</div>\n"
                               "</body>\n</html>"))
        << page;
    EXPECT_NE(page.find("<!-- 🔥 MathJax 3 (MathML & LaTeX Support) -->"), std::string::npos);
    EXPECT_NE(page.find("inlineMath: [['$', '$'], ['\\\\(', '\\\\)']]"), std::string::npos);
    EXPECT_NE(page.find("displayMath: [['$$', '$$'], ['\\\\[', '\\\\]']]"), std::string::npos);
    // MathJax comes from the local copy only.
    EXPECT_NE(page.find("async src=\"" + kBundle + "\""), std::string::npos);
    EXPECT_NE(page.find("tex-mml-chtml.js"), std::string::npos);
    EXPECT_NE(page.find("@media (prefers-color-scheme: dark)"), std::string::npos);
}

TEST(FormulaPageTest, MathMLWinsWhenThereIsSome) {
    const std::string mathml = "<math><mi>x</mi></math>";
    EXPECT_TRUE(
        formulaPage("x", mathml, kBundle).ends_with("\n" + mathml + "\n</div>\n</body>\n</html>"));
    EXPECT_TRUE(formulaPage("x", std::string(), kBundle)
                    .ends_with("\n\\[ x \\]\n</div>\n</body>\n</html>"));
}

} // namespace
