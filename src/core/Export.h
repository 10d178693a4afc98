#pragma once

// The core library is built with hidden symbols: only what a header opens with
// OMBRIX_API_BEGIN is exported to the tool, the desktop app and the tests. The PDF kit's
// MuPDF glue leaves it out, and MuPDF itself is linked in without exporting anything.
#define OMBRIX_API_BEGIN _Pragma("GCC visibility push(default)")
#define OMBRIX_API_END _Pragma("GCC visibility pop")
// For what the pragma cannot reach: a specialization of another library's hidden template.
#define OMBRIX_API __attribute__((visibility("default")))
