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

// The command word, of the program's own: on the stack, where a compiler that inlines the
// asking into runCommand would keep it beside the command's own answer, the two would take
// the stack past what the system gives a program when it starts (128 KiB on Linux), and a
// limit on address space could then stop a command halfway, as the stack grew.
Answer word;

// Asks for the command word.
const Command* askCommand() noexcept {
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
