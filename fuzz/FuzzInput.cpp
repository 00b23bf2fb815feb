#include "FuzzInput.hpp"

#include <algorithm>
#include <stdexcept>

DatabaseFiles SplitFuzzInput(const std::uint8_t* data, std::size_t size) {
    DatabaseFiles files;
    if (size < 2) {
        return files;
    }
    const std::size_t declared = static_cast<std::size_t>(data[0] | (data[1] << 8));
    const std::size_t masterLength = std::min(declared, size - 2);
    const char* bytes = reinterpret_cast<const char*>(data) + 2;
    files.master.assign(bytes, masterLength);
    files.crossRef.assign(bytes + masterLength, size - 2 - masterLength);
    return files;
}

std::string JoinFuzzInput(const DatabaseFiles& files) {
    if (files.master.size() > 0xFFFF) {
        throw std::length_error("a fuzzer input holds a master file of at most 65535 bytes");
    }
    std::string input;
    input += static_cast<char>(files.master.size() & 0xFF);
    input += static_cast<char>(files.master.size() >> 8);
    return input + files.master + files.crossRef;
}
