#pragma once

// The dialogue's side of the console: prompts, answers and reports.

#include "console/input.hpp"

namespace textfile {

/// Sets up the standard streams before the dialogue starts (see the platform layer) and
/// starts reading standard input afresh.
void prepareConsole() noexcept;

/// Writes a prompt or a message to standard output, at once: it is on the screen before
/// the program waits, and before any error report that follows it. A failure is kept for
/// finishConsole.
void say(const char* text) noexcept;

/// Writes the prompt to standard output, then reads the answer.
void askAnswer(const char* prompt, Answer& answer) noexcept;

/// Tells the console that a write to standard output failed and that the caller reports
/// it: finishConsole then adds no report of its own.
void markOutputFailureReported() noexcept;

/// Ends the dialogue: a write to standard output that failed and was not reported is
/// reported now, once, so that no output is lost in silence.
void finishConsole() noexcept;

/// The one way a failure is reported: "<label>: <the platform's text for err>" and a line
/// feed on standard error, in one write, as perror words it. `err` is the error number
/// saved at the call that failed.
void reportError(const char* label, int err) noexcept;

} // namespace textfile
