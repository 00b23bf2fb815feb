#include "OutputFile.hpp"

#include <cerrno>
#include <cstring>

namespace {

std::string SystemReason(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

}  // namespace

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool OutputFile::Open(const char* name, std::string& reason) {
    errno = 0;
    file_ = std::fopen(name, "wb");
    if (file_ == nullptr) {
        reason = SystemReason(errno);
        return false;
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

void OutputFile::WriteBuffer() {
    if (file_ != nullptr && Good() && buffer_.Size() > 0) {
        errno = 0;
        if (std::fwrite(buffer_.Data(), 1, buffer_.Size(), file_) != buffer_.Size()) {
            error_ = SystemReason(errno);
        }
    }
    buffer_.Clear();
}

bool OutputFile::Close() {
    if (file_ == nullptr) {
        return false;
    }
    WriteBuffer();
    errno = 0;
    if (std::fclose(file_) != 0 && Good()) {
        error_ = SystemReason(errno);
    }
    file_ = nullptr;
    return Good();
}
