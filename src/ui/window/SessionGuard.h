#pragma once

namespace ombrix::ui {

class MainWindow;

// Keeps unsaved work across the end of a session. SIGTERM and SIGHUP (a logout, a
// shutdown, a closed terminal) end the window at once, without the unsaved-changes
// question that would hold the logout up: the recovery journal already holds every step,
// and it is left for the next start. With `offerRecovery`, the journals an earlier run
// left are offered once the files given at launch are on their way. Call once, on the GUI
// thread, after the files are handed to the window; the window outlives the event loop.
void guardUnsavedWork(MainWindow& window, bool offerRecovery);

} // namespace ombrix::ui
