#pragma once

class QObject;
class QWebEnginePage;
class QWebEngineProfile;

namespace ombrix::ui::WebProfile {

// The one web profile of our result and formula pages: kept off the record (nothing of
// what is opened lands on disk), requests routed as WebContent::route says, the local
// MathJax copy served under our own scheme. Registers that scheme first, so call it before
// any other web engine object is made. GUI thread only; lives as long as the application.
QWebEngineProfile* shared();

// A page of the shared profile that stays on the HTML it is given: whatever the page
// itself asks for (a link, a refresh, a form, a new window) goes nowhere. Owned by
// `parent`; GUI thread only.
QWebEnginePage* newPage(QObject* parent);

// Makes the profile and one blank page, so the engine's start is paid before a result
// view is needed; once per process.
void warmUp();

} // namespace ombrix::ui::WebProfile
