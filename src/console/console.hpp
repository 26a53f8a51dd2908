#pragma once

namespace textfile {

/// Sets up the standard streams before the dialogue starts (see the platform layer) and
/// starts reading standard input afresh.
void prepareConsole() noexcept;

/// Writes a prompt or a message to standard output, at once: it is on the screen before
/// the program waits, and before any error report that follows it.
void say(const char* text) noexcept;

/// The one way a failure is reported: "<label>: <the platform's text for err>" and a line
/// feed on standard error, in one write, as perror words it. `err` is the error number
/// saved at the call that failed.
void reportError(const char* label, int err) noexcept;

} // namespace textfile
