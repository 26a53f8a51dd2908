// A Windows program that holds a file mapped into its memory, as an editor or a database may:
// map_file NAME maps NAME, says "mapped" on standard output, and keeps the mapping until its
// standard input ends.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: map_file NAME\n", stderr);
        return 2;
    }
    const HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE mapping = file == INVALID_HANDLE_VALUE
                               ? nullptr
                               : CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view =
        mapping == nullptr ? nullptr : MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) {
        std::fprintf(stderr, "map_file: %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    std::puts("mapped");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
