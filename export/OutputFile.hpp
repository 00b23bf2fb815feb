// The output file, or standard output, written through one large buffer of
// our own.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "export/TextBuffer.hpp"

class OutputFile {
  public:
    static constexpr std::size_t kFlushThreshold = 512 * 1024;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `name`, or truncates it, with mode "wb". On failure returns false
    // and puts the system's reason into `reason`.
    bool Open(const std::string& name, std::string& reason);
    // Writes to standard output instead, in binary.
    void OpenStandardOutput();

    // Room for `count` bytes at the end of what is buffered, valid until the
    // next call; Extend(end) then keeps what was written there up to `end`.
    // Once the buffer holds kFlushThreshold bytes it is written out first, so
    // memory stays flat however much one record writes.
    char* Room(std::size_t count) {
        FlushIfFull();
        return buffer_.Room(count);
    }
    void Extend(const char* end) { buffer_.Extend(end); }
    void Append(const char* bytes, std::size_t count) {
        FlushIfFull();
        buffer_.Append(bytes, count);
    }

    // False once a write has failed; `Error()` then holds the system's reason.
    bool Good() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    // Writes what is buffered and closes the file. Returns false if any write
    // or the close failed.
    bool Close();

  private:
    void FlushIfFull() {
        if (buffer_.Size() >= kFlushThreshold) {
            WriteBuffer();
        }
    }
    void WriteBuffer();

    std::FILE* file_ = nullptr;
    TextBuffer buffer_{kFlushThreshold + 64 * 1024};
    std::string error_;
};
