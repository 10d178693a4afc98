#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ombrix::pdfkit {
class Annotation;
class Document;
} // namespace ombrix::pdfkit

namespace ombrix::cli {

// How the command line names an annotation from one run to the next: by its own name (its
// /NM, which every annotation made here carries) when no other annotation of the document
// shares it, else as "PAGE-N", the Nth annotation (from 1) that `annotations` lists for
// page PAGE (from 1) — which holds only until that page's annotations change.
struct IdentifiedAnnotation {
    std::string id;
    int pageIndex = 0; // from 0
    std::shared_ptr<pdfkit::Annotation> annotation;
};

// Every annotation of the document with its id, page by page in list order. Main thread.
std::vector<IdentifiedAnnotation> identifyAnnotations(const pdfkit::Document& document);

// The annotation `id` names, or the one at "PAGE-N" whatever its id; ombrix::Error saying so
// when none does.
IdentifiedAnnotation findAnnotation(const pdfkit::Document& document, std::string_view id);

// The id of one annotation of the document; empty when it is on none of its pages.
std::string idOf(const pdfkit::Document& document, const pdfkit::Annotation& annotation);

// findAnnotation() in a document that may be marked up; else as refuseMarkup().
IdentifiedAnnotation findToMark(const pdfkit::Document& document, std::string_view id);

// Throws ombrix::Error with the reason when the document's security settings forbid
// marking it up.
void refuseMarkup(const pdfkit::Document& document);

} // namespace ombrix::cli
