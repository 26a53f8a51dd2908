#include "console/command.hpp"

#include "console/answer.hpp"
#include "files/commands.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace textfile {

namespace {

struct Command {
    const char* word;
    // cppcheck-suppress unusedStructMember ; called through the table in getCommand
    void (*run)();
};

void doNothing() {}

// Matched in this order; a command word matches only as the whole answer, byte for byte.
constexpr std::array<Command, 3> kCommands{{
    {"open", openFile},
    {"create", createFile},
    {"close", doNothing},
}};

} // namespace

void getCommand() {
    const Answer cmd = askAnswer("Please enter a command: ");
    const auto* command =
        std::find_if(kCommands.begin(), kCommands.end(), [&cmd](const Command& entry) {
            return !cmd.tooLong && cmd.text == entry.word;
        });
    if (command == kCommands.end()) {
        std::fputs("No such command exists. Application will now exit.\n", stdout);
        return;
    }
    command->run();
}

} // namespace textfile
