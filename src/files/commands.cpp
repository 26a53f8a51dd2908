#include "files/commands.hpp"

#include "console/console.hpp"

#include <array>
#include <cstring>

namespace textfile {

// Each command is a function of its own file, named here only, for the table.
void createFile() noexcept; // stores one line of text in a file, created or emptied
void openFile() noexcept;   // shows a file's whole contents

namespace {

void closeRun() noexcept {}

constexpr std::array kCommands{
    Command{"open", openFile, Effect::shows},
    Command{"create", createFile, Effect::stores},
    Command{"close", closeRun, Effect::none},
};

// Asks for the command word. Its answer is this call's own, on the stack: with the
// command's own answer, at most two (128 KiB) are there at once, far inside a main thread's
// stack (at least 1 MiB on Windows, 8 MiB on Linux).
const Command* askCommand() noexcept {
    Answer word;
    askAnswer("Please enter a command: ", word);
    return word.tooLong ? nullptr : findCommand(word.text.data());
}

} // namespace

const Command* findCommand(const char* word) noexcept {
    for (const Command& command : kCommands) {
        if (std::strcmp(word, command.word) == 0) {
            return &command;
        }
    }
    return nullptr;
}

void runCommand() noexcept {
    const Command* command = askCommand();
    if (command == nullptr) {
        say("No such command exists. Application will now exit.\n");
        return;
    }
    command->run();
}

} // namespace textfile
