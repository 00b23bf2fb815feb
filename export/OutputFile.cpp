#include "OutputFile.hpp"

#include <cerrno>

#include "platform/Files.hpp"

OutputFile::~OutputFile() {
    // Close() was not called: the export failed and has said why already.
    if (file_ != nullptr && file_ != stdout) {
        (void)std::fclose(file_);
    }
}

bool OutputFile::Open(const std::string& name, std::string& reason) {
    file_ = OpenFile(name, "wb", reason);
    if (file_ == nullptr) {
        return false;
    }
    // Our buffer is written in blocks; a stream that keeps its own buffer as
    // well writes the same bytes.
    (void)std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
}

void OutputFile::OpenStandardOutput() {
    file_ = stdout;
    SetBinaryMode(stdout);
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
    // Standard output stays open for whoever ran the program; it is only
    // flushed, which reports a failed write there as a close would.
    const bool closed = file_ == stdout ? std::fflush(file_) == 0 : std::fclose(file_) == 0;
    if (!closed && Good()) {
        error_ = SystemReason(errno);
    }
    file_ = nullptr;
    return Good();
}
