#pragma once

#include <atomic>
#include <future>
#include <httplib.h>
#include <mutex>
#include <string>
#include <thread>

namespace ombrix::testing {

// The stand-in recognition server: answers every POST to /extract with the answer set
// last, and keeps what the multipart parser of the server library made of the request.
class FormulaServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
    };

    FormulaServer() {
        server_.Post("/extract", [this](const httplib::Request& req, httplib::Response& res) {
            Answer answer;
            {
                std::lock_guard lock(mutex_);
                ++requests_;
                contentType_ = req.get_header_value("Content-Type");
                if (auto it = req.files.find("file"); it != req.files.end()) {
                    file_ = it->second;
                }
                answer = answer_;
            }
            if (slow_) {
                release_.wait();
            }
            res.status = answer.status;
            res.set_content(answer.body, "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
    }
    ~FormulaServer() {
        releaseSlowAnswers();
        server_.stop();
        thread_.join();
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/extract"; }
    void answer(int status, std::string body) {
        std::lock_guard lock(mutex_);
        answer_ = Answer{status, std::move(body)};
    }
    void holdAnswers() { slow_ = true; }
    void releaseSlowAnswers() {
        if (slow_ && !released_) {
            released_ = true;
            gate_.set_value();
        }
    }
    int requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::string contentType() {
        std::lock_guard lock(mutex_);
        return contentType_;
    }
    httplib::MultipartFormData file() {
        std::lock_guard lock(mutex_);
        return file_;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    Answer answer_;
    int requests_ = 0;
    std::string contentType_;
    httplib::MultipartFormData file_;
    std::atomic<bool> slow_{false};
    bool released_ = false;
    std::promise<void> gate_;
    std::shared_future<void> release_ = gate_.get_future().share();
};

} // namespace ombrix::testing
