#pragma once
// Error reporting: one formatted line, shown in a modal box captioned "error" (when a
// display is in use) and written to stderr. A fatal report ends the process with exit
// code 1 through the normal exit path; a non-fatal one returns after the box is closed.

#include <functional>
#include <optional>
#include <string>

// The module and line of the caller, for every report: DE_HERE expands to both arguments.
#define DE_HERE __FILE__, __LINE__

void reportError(const char* sourceFile, int line, const char* message, bool fatal);
void reportErrorValue(const char* sourceFile, int line, const char* message, int value, bool fatal);
void reportErrorText(const char* sourceFile, int line, const char* message, const char* detail,
                     bool fatal);

// Fatal "assertion failed" when the condition is false / the pointer is null.
void assertTrue(bool condition, const char* sourceFile, int line);
void assertNotNull(const void* pointer, const char* sourceFile, int line);

// Fatal "GL (FBO) error" naming the status when the bound framebuffer is incomplete.
void checkFramebufferStatus(const char* sourceFile, int line);

// Takes every pending GL error (a stray one left by earlier drawing, such as a blend factor a
// script passed through unchanged) and writes the first of each kind to stderr with the
// caller's module and line; never fatal, never a box. Returns how many were taken.
int drainGlErrors(const char* sourceFile, int line);

// The name shown for a framebuffer status ("Unknown error" for values outside the table).
const char* framebufferStatusName(unsigned status);

// Size of the formatting buffer, terminator included: longer lines are cut.
constexpr int kErrorTextSize = 200;

// [SECTION] Fatal reports that end one step instead of the process
//
// The authoring modes read a demo that is still being written: a shader that does not
// compile or an assertion deep inside an effect must not end the program there. They run
// each step of a load through catchFatalReports.

struct FatalReport {
  std::string text;     // the line the process would have ended with
  std::string message;  // the message and its detail alone, not cut ("CG error: ...")
};

// Runs `step`. A fatal report made on this thread while it runs shows nothing and ends
// nothing: the step is abandoned where the report was made (the stack unwinds back here)
// and the report is returned. Nothing is returned when the step finishes. Steps may nest;
// the innermost one takes the report. Reports on other threads stay fatal.
std::optional<FatalReport> catchFatalReports(const std::function<void()>& step);
