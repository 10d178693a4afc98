#pragma once

// The MuPDF contexts of the process and the boundary that keeps MuPDF's longjmp errors
// out of C++ frames. Private to pdfkit.

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::pdfkit {
class CancelToken;
}

namespace ombrix::pdfkit::mu {

// The MuPDF cookie inside a CancelToken (nullptr for no token).
struct CookieAccess {
    static fz_cookie* cookie(const CancelToken* token);
    static bool cancelled(const CancelToken* token);
};

// This thread's context: a clone of the process-wide base context, made on first use
// and dropped when the thread ends. Clones share the base's store, glyph cache and locks.
fz_context* context();

// Whether the process-wide deadline (setDeadline) has passed, noting it as reached. For
// loops of our own over a page's content, which allocate nothing MuPDF's cap would stop.
bool pastDeadline();

// What a failed attempt() reports.
struct Failure {
    int code = 0; // MuPDF's error code (FZ_ERROR_...)
    std::string message;
};

// Runs `body()` inside fz_try. Returns false when MuPDF threw, filling `failure`.
//
// The body runs between setjmp and longjmp: while it calls into MuPDF it must not own
// C++ objects that need destroying, nor throw C++ exceptions. Results go to variables
// of the caller, which also drops whatever MuPDF objects the body made, after the call.
template <class Body> bool attempt(fz_context* ctx, Body&& body, Failure* failure = nullptr) {
    fz_try(ctx) {
        body();
    }
    fz_catch(ctx) {
        if (failure) {
            failure->code = fz_caught(ctx);
            failure->message = fz_caught_message(ctx);
        }
        return false;
    }
    return true;
}

// Guarded reads of PDF objects: any object (nullptr included) may be passed, the wrong
// kind of object reads as nothing.
pdf_obj* get(fz_context* ctx, pdf_obj* dict, pdf_obj* key);
pdf_obj* get(fz_context* ctx, pdf_obj* dict, const char* key);
pdf_obj* item(fz_context* ctx, pdf_obj* array, int index);
pdf_obj* resolve(fz_context* ctx, pdf_obj* obj);
bool isDict(fz_context* ctx, pdf_obj* obj);
bool isArray(fz_context* ctx, pdf_obj* obj);
int length(fz_context* ctx, pdf_obj* array); // 0 for anything but an array
std::optional<double> number(fz_context* ctx, pdf_obj* obj);
std::vector<double> numbers(fz_context* ctx, pdf_obj* array); // non-numbers read as 0
std::string name(fz_context* ctx, pdf_obj* obj);              // empty for non-names
// A PDF text string (PDFDocEncoding or UTF-16) as UTF-8; nothing for non-strings.
std::optional<std::string> text(fz_context* ctx, pdf_obj* obj);
// Identity of objects: the same dictionary, whether reached directly or by reference.
bool sameObject(fz_context* ctx, pdf_obj* a, pdf_obj* b);

} // namespace ombrix::pdfkit::mu
