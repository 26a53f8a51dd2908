#include "console/command.hpp"

#include "console/answer.hpp"
#include "console/console.hpp"
#include "files/commands.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace textfile {

namespace {

struct Command {
    const char* word;
    // cppcheck-suppress unusedStructMember ; called through the table in getCommand
    void (*run)() noexcept;
};

void doNothing() noexcept {}

// Matched in this order; a command word matches only as the whole answer, byte for byte.
constexpr std::array<Command, 3> kCommands{{
    {"open", openFile},
    {"create", createFile},
    {"close", doNothing},
}};

} // namespace

void getCommand() noexcept {
    static Answer cmd;
    askAnswer("Please enter a command: ", cmd);
    // An iterator, which only some libraries make a plain pointer.
    const auto command = // NOLINT(readability-qualified-auto)
        std::find_if(kCommands.begin(), kCommands.end(), [](const Command& entry) {
            return !cmd.tooLong && std::strcmp(cmd.text.data(), entry.word) == 0;
        });
    if (command == kCommands.end()) {
        say("No such command exists. Application will now exit.\n");
        return;
    }
    command->run();
}

} // namespace textfile
