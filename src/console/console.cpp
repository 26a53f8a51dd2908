#include "console/console.hpp"

#include "console/answer.hpp"
#include "files/platform.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace textfile {

namespace {

// The first failed write to standard output, unless a report of one was already made.
struct OutputState {
    int unreported;
    bool reported;
};
OutputState output;

} // namespace

void prepareConsole() noexcept {
    platform::setUpStandardStreams();
    resetInput();
    output = {};
}

void say(const char* text) noexcept {
    const int err = platform::writeAll(platform::kStandardOutput, text, std::strlen(text));
    if (err != 0 && output.unreported == 0) {
        output.unreported = err;
    }
}

void outputFailureReported() noexcept { output.reported = true; }

void finishConsole() noexcept {
    if (output.unreported != 0 && !output.reported) {
        reportError("Error", output.unreported);
    }
}

void reportError(const char* label, int err) noexcept {
    std::array<char, 512> line{};
    std::size_t size = 0;
    for (const char* part : {label, ": ", static_cast<const char*>(std::strerror(err)), "\n"}) {
        const std::size_t length = std::min(std::strlen(part), line.size() - 1 - size);
        std::memcpy(line.data() + size, part, length);
        size += length;
    }
    (void)platform::writeAll(platform::kStandardError, line.data(), size);
}

} // namespace textfile
