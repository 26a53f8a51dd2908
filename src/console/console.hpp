#pragma once

namespace textfile {

/// Sets up the standard streams before the dialogue starts: a standard stream that was
/// closed is reopened on the null device, so that no file the program opens takes its
/// place and receives prompts or error reports; standard output is written through.
void prepareConsole();

} // namespace textfile
