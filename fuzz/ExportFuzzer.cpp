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

// This process's own directory for the files of one input. It exists only
// while an input runs, so that nothing is left behind however the process
// ends, short of a finding.
const std::filesystem::path& WorkDirectory() {
    static const std::filesystem::path directory =
        std::filesystem::temp_directory_path() /
        ("mstexport-fuzz-" + std::to_string(std::random_device()()));
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::error_code error;
    if (!std::filesystem::create_directory(WorkDirectory(), error)) {
        std::fprintf(stderr, "cannot create %s: %s\n", WorkDirectory().string().c_str(),
                     error.message().c_str());
        std::abort();
    }
    const std::string broken = ExportAndCheck(SplitFuzzInput(data, size), WorkDirectory());
    std::filesystem::remove_all(WorkDirectory(), error);
    if (!broken.empty()) {
        std::fprintf(stderr, "export rule broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
