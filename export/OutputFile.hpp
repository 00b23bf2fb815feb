// The output file, written through one large buffer of our own.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "masterfile/TextBuffer.hpp"

class OutputFile {
  public:
    static constexpr std::size_t kFlushThreshold = 512 * 1024;

    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `name`, or truncates it, with mode "wb". On failure returns false
    // and puts the system's reason into `reason`.
    bool Open(const char* name, std::string& reason);

    // The buffer that the next bytes are appended to. Call Flush() after
    // appending; it writes only once the buffer is full enough.
    TextBuffer& Buffer() { return buffer_; }
    void Flush() {
        if (buffer_.Size() >= kFlushThreshold) {
            WriteBuffer();
        }
    }

    // False once a write has failed; `Error()` then holds the system's reason.
    bool Good() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    // Writes what is buffered and closes the file. Returns false if any write
    // or the close failed.
    bool Close();

  private:
    void WriteBuffer();

    std::FILE* file_ = nullptr;
    TextBuffer buffer_{kFlushThreshold + 64 * 1024};
    std::string error_;
};
