// libFuzzer target: the whole export on a master file and a cross-reference
// file split from one input, with every rule of ExportCheck checked.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "ExportCheck.hpp"
#include "FuzzInput.hpp"

namespace {

std::filesystem::path& WorkDirectory() {
    static std::filesystem::path directory;
    return directory;
}

void RemoveWorkDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(WorkDirectory(), ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const auto base = std::filesystem::temp_directory_path();
    std::random_device seed;
    for (int attempt = 0; attempt < 100 && WorkDirectory().empty(); ++attempt) {
        const auto candidate = base / ("mstexport-fuzz-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate)) {
            WorkDirectory() = candidate;
        }
    }
    if (WorkDirectory().empty()) {
        std::fputs("cannot create a working directory\n", stderr);
        std::abort();
    }
    std::atexit(RemoveWorkDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = ExportAndCheck(SplitFuzzInput(data, size), WorkDirectory());
    if (!broken.empty()) {
        std::fprintf(stderr, "export rule broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
