// The output file, or standard output, written through one large buffer of
// our own.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "export/TextBuffer.hpp"
#include "platform/TemporaryOutput.hpp"

class OutputFile {
  public:
    static constexpr std::size_t kFlushThreshold = 512 * 1024;

    // How the buffer reaches the file: fwrite's way, returning how many of
    // `count` bytes were written and leaving errno set when not all were.
    // The tests put in one that fails on cue.
    using WriteBytes = std::size_t (*)(const char* bytes, std::size_t count, std::FILE* file);
    static std::size_t WriteToFile(const char* bytes, std::size_t count, std::FILE* file);

    explicit OutputFile(WriteBytes write = WriteToFile) : write_(write) {}
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `name`, or truncates it, with mode "wb". On failure returns false
    // and puts the system's reason into `reason`.
    bool Open(const std::string& name, std::string& reason);
    // Writes to a temporary file beside `name`, which Close() renames over it
    // (see TemporaryOutput), so that `name` is replaced whole or not at all.
    // A name that exists and is not a regular file (a device, a pipe) is
    // opened as Open() does. `interruptMessage` is printed if the run is
    // interrupted meanwhile.
    bool OpenReplacing(const std::string& name, const std::string& interruptMessage,
                       std::string& reason);
    // Writes to standard output instead, in binary.
    void OpenStandardOutput();

    // Whether the output goes to a temporary file first, so that a run that
    // cannot finish leaves the earlier file as it was.
    bool Replacing() const { return replacing_; }

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

    // Writes what is buffered and closes the file; a temporary file then
    // takes the output's name. Returns false if any write, the close or the
    // rename failed; a temporary file is then removed.
    bool Close();
    // Whether Close() failed in renaming the temporary file, after every
    // byte was written.
    bool RenameFailed() const { return renameFailed_; }

    // Ends a run that cannot finish: closes the file, and removes a
    // temporary one.
    void Discard();

  private:
    void FlushIfFull() {
        if (buffer_.Size() >= kFlushThreshold) {
            WriteBuffer();
        }
    }
    void WriteBuffer();

    // Closes the file, and keeps the first failure's reason.
    void CloseFile();

    std::FILE* file_ = nullptr;
    TextBuffer buffer_{kFlushThreshold + 64 * 1024};
    std::string error_;
    WriteBytes write_;
    // Removes the temporary file, if any, once the destructor has closed it.
    TemporaryOutput temporary_;
    bool replacing_ = false;
    bool renameFailed_ = false;
};
