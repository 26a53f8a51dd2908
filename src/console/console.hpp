#pragma once

namespace textfile {

/// Sets up the standard streams before the dialogue starts: a standard stream that was
/// closed is reopened on the null device, so that no file the program opens takes its
/// place and receives prompts or error reports; standard output is written through; a
/// write to a pipe nobody reads any more fails instead of ending the run.
void prepareConsole();

} // namespace textfile
