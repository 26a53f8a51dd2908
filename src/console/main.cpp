#include "console/command.hpp"
#include "console/console.hpp"

// Arguments and the environment are ignored; every run ends with status 0, whatever the
// command did (failures are reported on standard error).
int main() {
    textfile::prepareConsole();
    textfile::getCommand();
    textfile::finishConsole();
    return 0;
}
