#include "console/command.hpp"

#include "console/answer.hpp"
#include "files/commands.hpp"

#include <cstdio>

namespace textfile {

namespace {

struct Command {
    const char* word;
    void (*run)();
};

void doNothing() {}

// Matched in this order; a command word matches only as the whole answer, byte for byte.
constexpr Command kCommands[] = {
    {"open", openFile},
    {"create", createFile},
    {"close", doNothing},
};

} // namespace

void getCommand() {
    const Answer cmd = askAnswer("Please enter a command: ");
    if (!cmd.tooLong) {
        for (const Command& command : kCommands) {
            if (cmd.text == command.word) {
                command.run();
                return;
            }
        }
    }
    std::fputs("No such command exists. Application will now exit.\n", stdout);
}

} // namespace textfile
