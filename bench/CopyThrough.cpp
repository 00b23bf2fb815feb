// The benchmark's floor for a program of this kind: reads a file through a
// buffer of its own, as the export reads the master file, and writes as many
// bytes as the export writes, through a buffer of the export's size, without
// rendering anything. What it costs beyond `cat` is what reading the bytes
// into user space and writing them back costs on the machine at hand.
//
//   copy_through INPUT OUTPUT BYTES
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

constexpr std::size_t kReadBlock = 256 * 1024;
constexpr std::size_t kWriteBlock = 512 * 1024;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: copy_through INPUT OUTPUT BYTES\n";
        return 2;
    }
    const unsigned long long total = std::strtoull(argv[3], nullptr, 10);
    std::FILE* in = std::fopen(argv[1], "rb");
    std::FILE* out = std::fopen(argv[2], "wb");
    if (in == nullptr || out == nullptr) {
        std::cerr << "copy_through: cannot open " << (in == nullptr ? argv[1] : argv[2]) << "\n";
        return 1;
    }
    (void)std::setvbuf(in, nullptr, _IONBF, 0);
    (void)std::setvbuf(out, nullptr, _IONBF, 0);
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::rewind(in);
    if (size <= 0) {
        std::cerr << "copy_through: " << argv[1] << " is empty\n";
        return 1;
    }
    // Each block read is copied into the output buffer, as rendering would,
    // as many times over as makes the output's share of BYTES for it: the
    // input is read once, and the output is as long as the export's.
    const double scale = static_cast<double>(total) / static_cast<double>(size);
    std::unique_ptr<char[]> input(new char[kReadBlock]);
    std::unique_ptr<char[]> output(new char[kWriteBlock]);
    std::size_t held = 0;
    unsigned long long read = 0;  // of the input
    unsigned long long owed = 0;  // of the output, so far
    bool good = true;
    for (std::size_t got; good && (got = std::fread(input.get(), 1, kReadBlock, in)) > 0;) {
        read += got;
        const unsigned long long due =
            read >= static_cast<unsigned long long>(size)
                ? total
                : std::min(total,
                           static_cast<unsigned long long>(static_cast<double>(read) * scale));
        for (std::size_t at = 0; owed < due;) {
            const auto count = static_cast<std::size_t>(
                std::min<unsigned long long>({got - at, kWriteBlock - held, due - owed}));
            std::memcpy(output.get() + held, input.get() + at, count);
            held += count;
            owed += count;
            at = at + count == got ? 0 : at + count;
            if (held == kWriteBlock) {
                good = good && std::fwrite(output.get(), 1, held, out) == held;
                held = 0;
            }
        }
    }
    good = good && std::fwrite(output.get(), 1, held, out) == held;
    good = std::fclose(out) == 0 && good;
    (void)std::fclose(in);
    if (!good) {
        std::cerr << "copy_through: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
