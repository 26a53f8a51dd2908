// Runs one dialogue per input, the input being the whole of standard input, inside a
// scratch directory, and checks what the run printed, reported and left behind against a
// small model of how input lines become answers.
#include "console/console.hpp"
#include "files/commands.hpp"

#include <sanitizer/common_interface_defs.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kCommandPrompt = "Please enter a command: ";
constexpr std::string_view kNamePrompt = "Please enter a name for the new file: ";
constexpr std::string_view kTextPrompt =
    "\nPlease enter the text you would like to be placed in the file: \n";
constexpr std::string_view kConfirmation = "File created sucessfully!\n";
constexpr std::string_view kLocationPrompt =
    "Please enter the location of the file you would like to open: ";
constexpr std::string_view kUnknown = "No such command exists. Application will now exit.\n";
// A name past the answer limit is refused in the words of the program's C library.
const std::string kTooLong = std::string("Error: ") + std::strerror(ENAMETOOLONG) + "\n";

void expect(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "dialogue_fuzzer: broken: %s\n", what);
        std::abort();
    }
}

// The program's working directory `files` is emptied before each run; the captured
// streams lie beside it, out of reach of any name without a slash.
struct Scratch {
    std::string root, files, input, output, errors;
    int reports = -1;   // the fuzzer's own standard error
    long nameMax = 255; // longest file name the scratch file system takes
};
Scratch scratch;

std::vector<std::string> listFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.files)) {
        names.push_back(entry.path().filename());
    }
    return names;
}

std::string readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// One line as the dialogue reads it: the bytes up to the next line feed or the end of
// input; `rest` moves past the line feed.
std::string_view nextLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return line;
}

std::string_view upToZero(std::string_view line) { return line.substr(0, line.find('\0')); }

bool tooLong(std::string_view line) { return line.size() > textfile::kAnswerLimit; }

bool startsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

// Runs the dialogue on `input` as a started program would, in the scratch directory, which
// holds only the file `shown` (with `contents`) if that is not empty.
void runDialogue(std::string_view input, std::string_view shown, std::string_view contents) {
    for (const std::string& name : listFiles()) {
        std::filesystem::remove(scratch.files + "/" + name); // throws if it cannot
    }
    if (!shown.empty()) {
        std::ofstream file(scratch.files + "/" + std::string(shown), std::ios::binary);
        file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        expect(file.good(), "a file to show can be written");
    }
    std::FILE* in = std::fopen(scratch.input.c_str(), "wb");
    expect(in != nullptr && std::fwrite(input.data(), 1, input.size(), in) == input.size() &&
               std::fclose(in) == 0,
           "the input can be written");
    expect(std::freopen(scratch.input.c_str(), "rb", stdin) != nullptr &&
               std::freopen(scratch.output.c_str(), "wb", stdout) != nullptr,
           "standard input and output can be redirected");
    const int errors = open(scratch.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    expect(errors != -1 && dup2(errors, STDERR_FILENO) != -1 && close(errors) == 0,
           "standard error can be captured");
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(scratch.files);
    textfile::prepareConsole();
    textfile::runCommand();
    std::fflush(stdout);
    std::filesystem::current_path(home);
    expect(dup2(scratch.reports, STDERR_FILENO) != -1, "standard error can be restored");
}

// "create": the text is confirmed exactly when it was stored, alone, under its name.
void checkCreate(std::string_view nameLine, std::string_view textLine, const std::string& out,
                 const std::string& err, const std::vector<std::string>& files) {
    const std::string asked = std::string(kCommandPrompt).append(kNamePrompt);
    const std::string_view name = upToZero(nameLine);
    if (tooLong(nameLine)) {
        expect(out == asked && err == kTooLong && files.empty(), "a too long name is refused");
        return;
    }
    const std::string textAsked = asked + std::string(kTextPrompt);
    if (out == textAsked + std::string(kConfirmation)) {
        expect(err.empty(), "a confirmed text has no error report");
        expect(files.size() == 1 && files[0] == name, "the confirmed file has the given name");
        expect(readAll(scratch.files + "/" + files[0]) == upToZero(textLine),
               "the confirmed file holds the text line up to its first zero byte");
        return;
    }
    expect(out == asked || out == textAsked, "nothing but prompts precede a failure");
    expect(startsWith(err, "Error: ") || startsWith(err, "\nError: "), "a failure is reported");
    expect(files.empty() || (files.size() == 1 && files[0] == name), "no other file appears");
    expect(name.empty() || static_cast<long>(name.size()) > scratch.nameMax,
           "a plain name in an empty directory is stored");
}

// "open": a file that exists is shown whole, byte for byte, and left as it was; any other
// name is reported.
void checkOpen(std::string_view nameLine, std::string_view shown, std::string_view contents,
               const std::string& out, const std::string& err,
               const std::vector<std::string>& files) {
    const std::string asked = std::string(kCommandPrompt).append(kLocationPrompt).append("\n");
    if (!shown.empty()) {
        expect(out == asked + std::string(contents) + "\n" && err.empty(),
               "an existing file is shown whole");
        expect(files.size() == 1 && readAll(scratch.files + "/" + files[0]) == contents,
               "a file shown is left as it was");
        return;
    }
    expect(out == asked && files.empty(), "open asks for a location, then ends the line");
    expect(tooLong(nameLine) ? err == kTooLong : startsWith(err, "Error: "),
           "a missing file is reported");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // Under DIALOGUE_FUZZ_SCRATCH if set (run.sh removes it even after a crash), else in
    // /dev/shm: create syncs each file, which costs nothing there.
    const char* base = std::getenv("DIALOGUE_FUZZ_SCRATCH");
    scratch.root = base != nullptr ? base : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    scratch.root += "/dialogue-fuzz.XXXXXX";
    expect(mkdtemp(scratch.root.data()) != nullptr, "a scratch directory can be made");
    scratch.files = scratch.root + "/files";
    scratch.input = scratch.root + "/input";
    scratch.output = scratch.root + "/output";
    scratch.errors = scratch.root + "/errors";
    std::filesystem::create_directory(scratch.files);
    scratch.reports = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    expect(scratch.reports != -1, "the fuzzer's standard error can be kept");
    // A sanitizer report during a run goes to the fuzzer's standard error, not the capture.
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the descriptor is passed as a pointer
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(scratch.reports)));
    scratch.nameMax = pathconf(scratch.files.c_str(), _PC_NAME_MAX);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(scratch.root, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view rest = input;
    const std::string_view commandLine = nextLine(rest);
    const std::string_view nameLine = nextLine(rest);
    const std::string_view textLine = nextLine(rest);
    // Safety: no name the program could take leaves the scratch directory.
    const std::string_view name = upToZero(nameLine);
    if (name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return 0;
    }
    // Whether the word names a command, and what that command may do, is the program's own
    // table's to say. A command that shows a file is given one to show, holding the third line,
    // where the name is one the file system takes.
    const std::string word(tooLong(commandLine) ? "" : upToZero(commandLine));
    const textfile::Command* command = textfile::findCommand(word.c_str());
    const bool plain =
        !name.empty() && !tooLong(nameLine) && static_cast<long>(name.size()) <= scratch.nameMax;
    const bool showing = command != nullptr && command->effect == textfile::Effect::shows;
    const std::string_view shown = showing && plain ? name : std::string_view();
    runDialogue(input, shown, textLine);
    const std::string out = readAll(scratch.output);
    const std::string err = readAll(scratch.errors);
    const std::vector<std::string> files = listFiles();

    expect(startsWith(out, kCommandPrompt), "the command prompt comes first");
    if (command == nullptr) {
        expect(out == std::string(kCommandPrompt).append(kUnknown) && err.empty() && files.empty(),
               "any other word is answered with a message");
        return 0;
    }
    expect(out != std::string(kCommandPrompt).append(kUnknown), "a command word is obeyed");
    switch (command->effect) {
    case textfile::Effect::stores:
        checkCreate(nameLine, textLine, out, err, files);
        break;
    case textfile::Effect::shows:
        checkOpen(nameLine, shown, textLine, out, err, files);
        break;
    case textfile::Effect::none:
        expect(out == kCommandPrompt && err.empty() && files.empty(), "close does nothing more");
        break;
    }
    return 0;
}
