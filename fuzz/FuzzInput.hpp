// One fuzzer input holds both database files: a 2-byte little-endian length,
// that many bytes of master file (fewer if the input ends first), then the
// cross-reference file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct DatabaseFiles {
    std::string master;
    std::string crossRef;
};

DatabaseFiles SplitFuzzInput(const std::uint8_t* data, std::size_t size);

// The input that SplitFuzzInput turns back into these files; the master file
// must be shorter than 64 KiB.
std::string JoinFuzzInput(const DatabaseFiles& files);
