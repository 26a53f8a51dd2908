#include "console/console.hpp"

#include "platform/platform.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace textfile {

namespace {

// The first failed write to standard output, and whether a caller has reported a failed
// write already.
struct OutputFailure {
    int firstError;
    bool reported;
};
OutputFailure outputFailure;

} // namespace

void prepareConsole() noexcept {
    platform::setUpStandardStreams();
    resetInput();
    outputFailure = {};
}

void say(const char* text) noexcept {
    const int err = platform::writeAll(platform::kStandardOutput, text, std::strlen(text));
    if (err != 0 && outputFailure.firstError == 0) {
        outputFailure.firstError = err;
    }
}

void askAnswer(const char* prompt, Answer& answer) noexcept {
    say(prompt);
    readAnswer(answer);
}

void markOutputFailureReported() noexcept { outputFailure.reported = true; }

void finishConsole() noexcept {
    if (outputFailure.firstError != 0 && !outputFailure.reported) {
        reportError("Error", outputFailure.firstError);
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
