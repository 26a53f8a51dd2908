#pragma once

namespace textfile {

/// A command the dialogue knows: the word that asks for it, and what it runs.
struct Command {
    const char* word;
    void (*run)() noexcept;
};

/// The command `word` asks for: a word matches only as a whole, byte for byte. nullptr
/// for a word that names none.
const Command* findCommand(const char* word) noexcept;

/// Asks for one command word and runs the matching command; a word that matches none
/// is answered with a message. Returns when the command has finished: one command per run.
void getCommand() noexcept;

} // namespace textfile
