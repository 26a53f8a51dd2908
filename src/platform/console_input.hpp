#pragma once

// What a console's line input gives, read as UTF-16 units, taken as the program's input.
// Only Windows reads its console this way, but these decisions hold no call of it, so they
// are tested on any system.

#include <cstddef>

namespace textfile::platform {

/// How a read of the console ended.
enum class ConsoleRead {
    text,        ///< units arrived
    interrupted, ///< cut short by Ctrl+C or Ctrl+Break: read again, unless the run ends
    failed,      ///< an error to report
};

/// A line typed at a console is never empty: it ends with CR LF, and the end of input is a
/// Ctrl+Z typed. So a read that gave no unit was cut short by Ctrl+C or Ctrl+Break, whether
/// the console said so (the read failed as aborted) or not (it succeeded with nothing, as
/// newer consoles do); it is never the end of input.
constexpr ConsoleRead classifyConsoleRead(bool succeeded, std::size_t units,
                                          bool aborted) noexcept {
    if (succeeded) {
        return units > 0 ? ConsoleRead::text : ConsoleRead::interrupted;
    }
    return aborted ? ConsoleRead::interrupted : ConsoleRead::failed;
}

/// What takeConsoleText keeps of a read.
struct ConsoleText {
    std::size_t units; ///< the text, from the first unit on
    bool ended;        ///< a Ctrl+Z ended the input after it
    bool held;         ///< the unit after the text, the first half of a character, is kept
                       ///< for the next read, which brings its second half
};

/// Takes the text of `count` units read from a console, in place: every CR is dropped (a
/// console ends each line with CR LF, and Enter is the only way to type a CR), and the
/// first Ctrl+Z ends the input there, however the line goes on. A high surrogate that ends
/// the units is held back, so that no character is split between two reads.
template <typename Unit> ConsoleText takeConsoleText(Unit* units, std::size_t count) noexcept {
    constexpr Unit kCarriageReturn = 0x0D;
    constexpr Unit kEndOfInput = 0x1A; // Ctrl+Z
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (units[i] == kEndOfInput) {
            return {kept, true, false};
        }
        if (units[i] != kCarriageReturn) {
            units[kept++] = units[i];
        }
    }
    const bool held = kept > 0 && units[kept - 1] >= 0xD800 && units[kept - 1] <= 0xDBFF;
    return {held ? kept - 1 : kept, false, held};
}

} // namespace textfile::platform
