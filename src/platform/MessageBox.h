#pragma once
// Modal message boxes over SDL. A box is only ever shown when a real display is in use
// (setDisplayAvailable); headless runs, tests and CI never block on one.

namespace platform {

enum class BoxIcon { None, Error, Warning, Information };

// Set by start-up once SDL video runs on a driver with a screen (not "offscreen"/"dummy").
void setDisplayAvailable(bool available);
bool displayAvailable();

// Shows a box with an OK button and waits until it is closed. Returns at once when no
// display is available.
void showMessageBox(const char* caption, const char* text, BoxIcon icon);

// Yes/No question. Without a display nobody can answer, so the answer is `fallback`.
bool askYesNo(const char* caption, const char* text, bool fallback);

}  // namespace platform
