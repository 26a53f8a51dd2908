#include "console/command.hpp"

#include "console/answer.hpp"
#include "console/console.hpp"
#include "files/commands.hpp"

#include <array>
#include <cstring>

namespace textfile {

namespace {

void doNothing() noexcept {}

// Matched in this order.
constexpr std::array<Command, 3> kCommands{{
    {"open", openFile},
    {"create", createFile},
    {"close", doNothing},
}};

// Asks for the command word. Its answer is this call's own, on the stack: with the
// command's own answer, at most two (128 KiB) are there at once, far inside the 1 MiB of
// a Windows program's main thread.
const Command* askCommand() noexcept {
    Answer cmd;
    askAnswer("Please enter a command: ", cmd);
    return cmd.tooLong ? nullptr : findCommand(cmd.text.data());
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

void getCommand() noexcept {
    const Command* command = askCommand();
    if (command == nullptr) {
        say("No such command exists. Application will now exit.\n");
        return;
    }
    command->run();
}

} // namespace textfile
