#pragma once

#include <mupdf/fitz.h>
#include <stdexcept>
#include <string>

namespace ombrix::testing {

// One MuPDF context for one piece of fixture work. Warnings are collected rather than
// printed, so a writer can refuse to produce a file MuPDF itself complains about.
//
// Code run through run() lives between setjmp and longjmp: it must only call MuPDF and
// touch objects made outside it, never construct C++ objects that need destroying or
// throw C++ exceptions.
class MuPdfSession {
public:
    MuPdfSession() {
        ctx_ = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        if (!ctx_) {
            throw std::runtime_error("cannot create a MuPDF context");
        }
        fz_set_warning_callback(ctx_, &MuPdfSession::collectWarning, this);
        fz_set_error_callback(ctx_, nullptr, nullptr);
    }
    ~MuPdfSession() { fz_drop_context(ctx_); }
    MuPdfSession(const MuPdfSession&) = delete;
    MuPdfSession& operator=(const MuPdfSession&) = delete;

    fz_context* ctx() const { return ctx_; }
    const std::string& warnings() const { return warnings_; }

    // Runs `body(ctx)`; a MuPDF error becomes std::runtime_error carrying `what` and
    // MuPDF's message.
    template <class Body> void run(const char* what, Body&& body) {
        bool failed = false;
        fz_try(ctx_) {
            body(ctx_);
        }
        fz_catch(ctx_) {
            failed = true;
        }
        if (failed) {
            throw std::runtime_error(std::string(what) + ": " + fz_caught_message(ctx_));
        }
    }

    // Throws when MuPDF warned since the session began.
    void requireNoWarnings(const char* what) const {
        if (!warnings_.empty()) {
            throw std::runtime_error(std::string(what) + ": MuPDF warned: " + warnings_);
        }
    }

private:
    static void collectWarning(void* user, const char* message) {
        auto* self = static_cast<MuPdfSession*>(user);
        if (!self->warnings_.empty()) {
            self->warnings_ += "; ";
        }
        self->warnings_ += message;
    }

    fz_context* ctx_ = nullptr;
    std::string warnings_;
};

} // namespace ombrix::testing
