// libFuzzer target: the ISO 2709 reader on a file holding the input, with
// every rule of IsoReadCheck checked.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "DatabaseWriter.hpp"
#include "IsoReadCheck.hpp"

namespace {

// This process's own file for the input being read. It exists only while an
// input runs, so that nothing is left behind however the process ends, short
// of a finding.
const std::filesystem::path& InputPath() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("mstexport-iso-fuzz-" + std::to_string(std::random_device()()) + ".iso");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteFile(InputPath(), std::string(reinterpret_cast<const char*>(data), size));
    const std::string broken = ReadIsoAndCheck(InputPath());
    std::error_code error;
    std::filesystem::remove(InputPath(), error);
    if (!broken.empty()) {
        std::fprintf(stderr, "ISO 2709 reading rule broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
