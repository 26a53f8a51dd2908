#include "console/console.hpp"
#include "files/commands.hpp"

// Arguments are ignored, and of the environment only TMPDIR is read, for where a long text
// waits. A run ends with status 0 whatever the command did (failures are reported on
// standard error), unless a signal ends it.
int main() {
    textfile::prepareConsole();
    textfile::runCommand();
    textfile::finishConsole();
    return 0;
}
