#include "OutputFile.hpp"

#include <cerrno>

#include "platform/FileIdentity.hpp"
#include "platform/Files.hpp"

OutputFile::~OutputFile() {
    // Close() was not called: the export failed and has said why already.
    // A temporary file is removed as temporary_ goes.
    if (file_ != nullptr && file_ != stdout) {
        (void)std::fclose(file_);
    }
}

std::size_t OutputFile::WriteToFile(const char* bytes, std::size_t count, std::FILE* file) {
    return std::fwrite(bytes, 1, count, file);
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

bool OutputFile::OpenReplacing(const std::string& name, const std::string& interruptMessage,
                               std::string& reason) {
    const FileKind kind = IdentifyFile(name).kind;
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        // Nothing to replace: /dev/null, a pipe, or a name the system reports
        // on better when it is opened.
        return Open(name, reason);
    }
    file_ = temporary_.Create(name, interruptMessage, reason);
    if (file_ == nullptr) {
        return false;
    }
    replacing_ = true;
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
        if (write_(buffer_.Data(), buffer_.Size(), file_) != buffer_.Size()) {
            error_ = SystemReason(errno);
        }
    }
    buffer_.Clear();
}

void OutputFile::CloseFile() {
    errno = 0;
    // Standard output stays open for whoever ran the program; it is only
    // flushed, which reports a failed write there as a close would.
    const bool closed = file_ == stdout ? std::fflush(file_) == 0 : std::fclose(file_) == 0;
    if (!closed && Good()) {
        error_ = SystemReason(errno);
    }
    file_ = nullptr;
}

bool OutputFile::Close() {
    if (file_ == nullptr) {
        return false;
    }
    WriteBuffer();
    CloseFile();
    if (!replacing_) {
        return Good();
    }
    if (!Good()) {
        temporary_.Discard();
        return false;
    }
    std::string reason;
    if (!temporary_.Commit(reason)) {
        error_ = reason;
        renameFailed_ = true;
        return false;
    }
    return true;
}

void OutputFile::Discard() {
    buffer_.Clear();
    if (file_ != nullptr) {
        CloseFile();
    }
    temporary_.Discard();
}
