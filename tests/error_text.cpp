// The texts the C library gives the error numbers the end-to-end tests expect: built with
// the program's own compiler and C library, it prints a line "NAME text" for each number
// that library has, where text is what std::strerror, and so the program, says for it.
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct Error {
    const char* name;
    int number;
};

constexpr Error kErrors[] = {
    {"EACCES", EACCES},
    {"EBADF", EBADF},
#ifdef EDQUOT
    {"EDQUOT", EDQUOT},
#endif
    {"EFBIG", EFBIG},
    {"EINTR", EINTR},
    {"EIO", EIO},
    {"EISDIR", EISDIR},
    {"ENAMETOOLONG", ENAMETOOLONG},
    {"ENOENT", ENOENT},
    {"ENOSPC", ENOSPC},
    {"ENXIO", ENXIO},
    {"EPERM", EPERM},
    {"EPIPE", EPIPE},
    {"EROFS", EROFS},
#ifdef ESTALE
    {"ESTALE", ESTALE},
#endif
};

} // namespace

int main() {
    for (const Error& error : kErrors) {
        std::printf("%s %s\n", error.name, std::strerror(error.number));
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
