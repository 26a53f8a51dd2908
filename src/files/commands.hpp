#pragma once

namespace textfile {

/// The "create" command: asks for a file name and one line of text, stores exactly that
/// text in the file (created, or emptied if it exists) and confirms once it is stored.
void createFile() noexcept;

/// The "open" command: asks for the location of an existing file and shows its whole
/// contents on standard output.
void openFile() noexcept;

} // namespace textfile
