#pragma once

namespace textfile {

/// Asks for one command word and runs the matching command; a word that matches none
/// is answered with a message. Returns when the command has finished: one command per run.
void getCommand() noexcept;

} // namespace textfile
