#pragma once

// What every command that stores a text does around putting it in the file.

#include "console/input.hpp"

namespace textfile {

/// Puts the text that arrived into `file`, open for reading and writing, locked, named
/// `name`: 0, or the error number. It may let go of the lock while it waits for more of
/// the line, and then takes it again before it changes the file.
using PutText = int (*)(int file, const char* name, const LineText& text) noexcept;

/// A storing command, once its name is asked: opens the file `name` leads to (creating it),
/// asks for the text, and once the text's line has arrived (nothing is touched before:
/// a run stopped at the text prompt, or whose input fails there, leaves the file as it was),
/// locks the file, so that runs storing into it take turns, and has `put` store the text.
/// Then it makes the text durable, checks that the name still leads to the file, closes it,
/// makes a new file's name durable, and confirms; or reports the first failure, once.
void storeText(const Answer& name, PutText put) noexcept;

} // namespace textfile
