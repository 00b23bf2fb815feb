// A read-only binary file with a buffer of its own.
//
// The reader seeks before every field it reads, so seeks must be cheap: this
// stream keeps its own position and serves any read that falls inside its
// buffer with a copy, without calling into the C library or the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

class InputFile {
  public:
    static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

    explicit InputFile(std::size_t bufferSize = kDefaultBufferSize);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `name` with mode "rb" and reads its first bytes, so that a file
    // that opens but cannot be read (a directory, say) fails here. On failure
    // returns false and puts the system's reason into `reason`.
    bool Open(const char* name, std::string& reason);

    bool IsOpen() const { return file_ != nullptr; }

    // The file's length when it was opened.
    std::int64_t Size() const { return size_; }

    void Seek(std::int64_t position) { position_ = position; }

    // Reads up to `count` bytes from the current position and moves past them.
    // Returns how many were read: fewer only at the end of the file or on a
    // read error.
    std::size_t Read(void* into, std::size_t count) {
        if (position_ >= bufferStart_ &&
            position_ + static_cast<std::int64_t>(count) <= bufferStart_ + bufferLength_) {
            std::memcpy(into, buffer_.get() + (position_ - bufferStart_), count);
            position_ += static_cast<std::int64_t>(count);
            return count;
        }
        return ReadOutsideBuffer(static_cast<unsigned char*>(into), count);
    }

  private:
    std::size_t ReadOutsideBuffer(unsigned char* into, std::size_t count);
    std::size_t ReadFromFile(std::int64_t at, unsigned char* into, std::size_t count);

    std::FILE* file_ = nullptr;
    std::int64_t size_ = 0;
    std::size_t bufferSize_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::int64_t bufferStart_ = 0;
    std::int64_t bufferLength_ = 0;
    std::int64_t position_ = 0;
    // Where the C library's stream stands, so that a sequential refill needs
    // no seek. -1 when unknown.
    std::int64_t filePosition_ = -1;
};
