// A read-only binary file with buffers of its own.
//
// The reader seeks before every record it reads, so seeks must be cheap: this
// stream keeps its own position and serves any read that falls inside its
// buffers with a copy, or with a view into them, without calling into the C
// library or the system.
//
// It has two buffers. The main one follows the reader forward through the
// file; a read that lands elsewhere (a record updated and stored out of MFN
// order, say) goes to a smaller second buffer, so the main one does not have
// to be read again when the reader comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ViewSlack.hpp"

class InputFile {
  public:
    static constexpr std::size_t kDefaultBufferSize = 256 * 1024;
    static constexpr std::size_t kDefaultJumpBufferSize = 64 * 1024;

    explicit InputFile(std::size_t bufferSize = kDefaultBufferSize);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens the file of the UTF-8 name `name` with mode "rb" and reads its
    // first bytes, so that a file that opens but cannot be read (a directory,
    // say) fails here. On failure returns false and puts the system's reason
    // into `reason`.
    bool Open(const std::string& name, std::string& reason);

    bool IsOpen() const { return file_ != nullptr; }

    // The file's length when it was opened.
    std::int64_t Size() const { return size_; }

    void Seek(std::int64_t position) { position_ = position; }

    // Reads up to `count` bytes from the current position and moves past them.
    // Returns how many were read: fewer only at the end of the file or on a
    // read error.
    std::size_t Read(void* into, std::size_t count) {
        if (const unsigned char* held = Held(main_, position_, count)) {
            std::memcpy(into, held, count);
            position_ += static_cast<std::int64_t>(count);
            return count;
        }
        return ReadOutsideBuffer(static_cast<unsigned char*>(into), count);
    }

    // The `count` bytes at `position`, in a buffer, valid until the next Read
    // or View, with kViewSlack readable bytes after them. Nothing (nullptr) when the file does not
    // hold them all, on a read error, or when `count` is larger than the buffer. Leaves the
    // position as it is.
    const unsigned char* View(std::int64_t position, std::size_t count) {
        if (const unsigned char* held = Held(main_, position, count)) {
            return held;
        }
        return ViewOutsideBuffer(position, count);
    }

    // The most bytes a View can show: the main buffer's size.
    std::size_t LargestView() const { return main_.size; }

  private:
    struct Buffer {
        // Only the slack is cleared: pages are touched when they are first
        // read into, not before.
        explicit Buffer(std::size_t capacity)
            : bytes(new unsigned char[capacity + kViewSlack]), size(capacity) {
            std::memset(bytes.get() + capacity, 0, kViewSlack);
        }
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t size;
        std::int64_t start = 0;
        std::int64_t length = 0;
    };

    static const unsigned char* Held(const Buffer& buffer, std::int64_t position,
                                     std::size_t count) {
        if (position >= buffer.start &&
            position + static_cast<std::int64_t>(count) <= buffer.start + buffer.length) {
            return buffer.bytes.get() + (position - buffer.start);
        }
        return nullptr;
    }

    std::size_t ReadOutsideBuffer(unsigned char* into, std::size_t count);
    const unsigned char* ViewOutsideBuffer(std::int64_t position, std::size_t count);
    // Reads into one of the buffers the file's bytes around `position`, so
    // that it holds the `count` bytes there as far as the file has them, and
    // returns that buffer.
    const Buffer& Fill(std::int64_t position, std::size_t count);
    std::size_t ReadFromFile(std::int64_t at, unsigned char* into, std::size_t count);

    std::FILE* file_ = nullptr;
    std::int64_t size_ = 0;
    Buffer main_;
    Buffer jump_;
    std::int64_t position_ = 0;
    // Where the C library's stream stands, so that a sequential refill needs
    // no seek. -1 when unknown.
    std::int64_t filePosition_ = -1;
};
