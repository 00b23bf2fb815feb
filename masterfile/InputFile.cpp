#include "InputFile.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Standard fseek takes a long, which is 32 bits on Windows.
bool SeekTo(std::FILE* file, std::int64_t position, int origin) {
#ifdef _WIN32
    return _fseeki64(file, position, origin) == 0;
#else
    return std::fseek(file, static_cast<long>(position), origin) == 0;
#endif
}

std::int64_t Tell(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return std::ftell(file);
#endif
}

std::string SystemReason(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

}  // namespace

InputFile::InputFile(std::size_t bufferSize)
    : bufferSize_(bufferSize), buffer_(new unsigned char[bufferSize]) {}

InputFile::~InputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool InputFile::Open(const char* name, std::string& reason) {
    errno = 0;
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        reason = SystemReason(errno);
        return false;
    }
    // This stream's own buffer does the buffering.
    std::setvbuf(file, nullptr, _IONBF, 0);

    errno = 0;
    std::int64_t size = -1;
    if (SeekTo(file, 0, SEEK_END)) {
        size = Tell(file);
    }
    if (size < 0 || !SeekTo(file, 0, SEEK_SET)) {
        reason = SystemReason(errno);
        std::fclose(file);
        return false;
    }
    errno = 0;
    const std::size_t got = std::fread(buffer_.get(), 1, bufferSize_, file);
    if (std::ferror(file)) {
        reason = SystemReason(errno);
        std::fclose(file);
        return false;
    }
    file_ = file;
    size_ = size;
    bufferStart_ = 0;
    bufferLength_ = static_cast<std::int64_t>(got);
    filePosition_ = bufferLength_;
    position_ = 0;
    return true;
}

std::size_t InputFile::ReadOutsideBuffer(unsigned char* into, std::size_t count) {
    if (file_ == nullptr || position_ < 0 || count == 0) {
        return 0;
    }
    std::size_t got = 0;
    if (count >= bufferSize_) {
        got = ReadFromFile(position_, into, count);
    } else {
        bufferStart_ = position_;
        bufferLength_ =
            static_cast<std::int64_t>(ReadFromFile(position_, buffer_.get(), bufferSize_));
        got = std::min(count, static_cast<std::size_t>(bufferLength_));
        std::memcpy(into, buffer_.get(), got);
    }
    position_ += static_cast<std::int64_t>(got);
    return got;
}

std::size_t InputFile::ReadFromFile(std::int64_t at, unsigned char* into, std::size_t count) {
    if (at != filePosition_) {
        if (!SeekTo(file_, at, SEEK_SET)) {
            filePosition_ = -1;
            return 0;
        }
    }
    const std::size_t got = std::fread(into, 1, count, file_);
    if (std::ferror(file_)) {
        std::clearerr(file_);
        filePosition_ = -1;
        return got;
    }
    filePosition_ = at + static_cast<std::int64_t>(got);
    return got;
}
