#include "console/console.hpp"

#include "console/answer.hpp"
#include "files/platform.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace textfile {

void prepareConsole() noexcept {
    platform::setUpStandardStreams();
    resetInput();
}

void say(const char* text) noexcept {
    // A prompt that cannot be shown does not stop the dialogue.
    (void)platform::writeAll(platform::kStandardOutput, text, std::strlen(text));
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
