// The benchmark's floor: what any program that reads a file and writes an
// export of it through user space pays, as fast as it can be paid. It reads
// INPUT once, 256 KiB at a time, copies each block into a 512 KiB output
// buffer (the last block again, should the output be longer than the input)
// until the output has BYTES bytes, and writes the buffer each time it
// fills. No stdio, no rendering: the system's read and write, and memcpy.
//
//   copy_through INPUT OUTPUT BYTES
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kReadBlock = 256 * 1024;
constexpr std::size_t kWriteBlock = 512 * 1024;

char block[kReadBlock];
char buffer[kWriteBlock];

bool WriteAll(int file, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = write(file, bytes, count);
        if (written <= 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: copy_through INPUT OUTPUT BYTES\n", stderr);
        return 2;
    }
    const unsigned long long total = std::strtoull(argv[3], nullptr, 10);
    const int in = open(argv[1], O_RDONLY);
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0) {
        std::fprintf(stderr, "copy_through: cannot open %s\n", in < 0 ? argv[1] : argv[2]);
        return 1;
    }
    unsigned long long owed = total;  // bytes of output still to copy
    std::size_t held = 0;             // in the output buffer
    std::size_t last = 0;             // bytes of the last block read
    bool good = true;
    for (bool more = true; good && (more || owed > 0);) {
        ssize_t got = more ? read(in, block, kReadBlock) : 0;
        if (got < 0) {
            good = false;
            break;
        }
        if (got == 0) {
            more = false;
            if (last == 0) {
                break;  // an empty input gives an empty output
            }
            got = static_cast<ssize_t>(last);
        }
        last = static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < last && owed > 0 && good;) {
            const auto count = static_cast<std::size_t>(
                std::min<unsigned long long>({last - at, kWriteBlock - held, owed}));
            std::memcpy(buffer + held, block + at, count);
            held += count;
            at += count;
            owed -= count;
            if (held == kWriteBlock) {
                good = WriteAll(out, buffer, held);
                held = 0;
            }
        }
    }
    good = good && WriteAll(out, buffer, held) && owed == 0;
    good = close(out) == 0 && good;
    (void)close(in);
    if (!good) {
        std::fprintf(stderr, "copy_through: cannot write the %llu bytes of %s\n", total, argv[2]);
        return 1;
    }
    return 0;
}
