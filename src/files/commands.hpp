#pragma once

// The commands and the table that names them.

namespace textfile {

/// What a command may do with files: what the fuzzer holds each command to.
enum class Effect {
    none,   ///< touches no file
    shows,  ///< shows an existing file, changing none
    stores, ///< stores the text answer in the named file, creating it: that file alone
};

/// A command the dialogue knows: the word that asks for it, what it runs, and its effect.
struct Command {
    const char* word;
    void (*run)() noexcept;
    Effect effect;
};

/// The command `word` asks for: a word matches only as a whole, byte for byte. nullptr
/// for a word that names none.
const Command* findCommand(const char* word) noexcept;

/// Asks for one command word and runs the matching command; a word that matches none
/// is answered with a message. Returns when the command has finished: one command per run.
void runCommand() noexcept;

} // namespace textfile
