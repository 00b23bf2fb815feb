#include "InputFile.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <sys/types.h>  // off_t
#endif

#include "Files.hpp"

namespace {

// Standard fseek takes a long, which is 32 bits on Windows and on 32-bit
// Linux; both have a 64-bit call of their own (the build asks for a 64-bit
// off_t on POSIX systems).
bool SeekTo(std::FILE* file, std::int64_t position, int origin) {
#ifdef _WIN32
    return _fseeki64(file, position, origin) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), origin) == 0;
#endif
}

std::int64_t Tell(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<std::int64_t>(ftello(file));
#endif
}

}  // namespace

InputFile::InputFile(std::size_t bufferSize)
    : main_(bufferSize), jump_(std::min(bufferSize, kDefaultJumpBufferSize)) {}

InputFile::~InputFile() {
    if (file_ != nullptr) {
        (void)std::fclose(file_);  // read only: a failed close loses nothing
    }
}

bool InputFile::Open(const std::string& name, std::string& reason) {
    std::FILE* file = OpenFile(name, "rb", reason);
    if (file == nullptr) {
        return false;
    }
    // This stream's own buffers do the buffering. Should the C library keep
    // its buffer all the same, reads only cost a copy more.
    (void)std::setvbuf(file, nullptr, _IONBF, 0);

    errno = 0;
    std::int64_t size = -1;
    if (SeekTo(file, 0, SEEK_END)) {
        size = Tell(file);
    }
    if (size < 0 || !SeekTo(file, 0, SEEK_SET)) {
        reason = SystemReason(errno);
        (void)std::fclose(file);
        return false;
    }
    errno = 0;
    const std::size_t got = std::fread(main_.bytes.get(), 1, main_.size, file);
    if (std::ferror(file)) {
        reason = SystemReason(errno);
        (void)std::fclose(file);
        return false;
    }
    file_ = file;
    size_ = size;
    main_.start = 0;
    main_.length = static_cast<std::int64_t>(got);
    jump_.start = 0;
    jump_.length = 0;
    filePosition_ = main_.length;
    position_ = 0;
    return true;
}

std::size_t InputFile::ReadOutsideBuffer(unsigned char* into, std::size_t count) {
    if (file_ == nullptr || position_ < 0 || count == 0) {
        return 0;
    }
    std::size_t got = 0;
    if (const unsigned char* held = Held(jump_, position_, count)) {
        std::memcpy(into, held, count);
        got = count;
    } else if (count >= main_.size) {
        got = ReadFromFile(position_, into, count);
    } else {
        const Buffer& filled = Fill(position_, count);
        const std::int64_t available = filled.start + filled.length - position_;
        if (available > 0) {
            got = std::min(count, static_cast<std::size_t>(available));
            std::memcpy(into, filled.bytes.get() + (position_ - filled.start), got);
        }
    }
    position_ += static_cast<std::int64_t>(got);
    return got;
}

const unsigned char* InputFile::ViewOutsideBuffer(std::int64_t position, std::size_t count) {
    if (file_ == nullptr || position < 0 || count > main_.size) {
        return nullptr;
    }
    if (const unsigned char* held = Held(jump_, position, count)) {
        return held;
    }
    return Held(Fill(position, count), position, count);
}

namespace {

// Whether reading at `position` goes on from where `buffer` ends, or from
// inside it: the next bytes of a forward pass.
bool GoesOnFrom(std::int64_t start, std::int64_t length, std::size_t size, std::int64_t position) {
    return position >= start && position <= start + length + static_cast<std::int64_t>(size);
}

}  // namespace

const InputFile::Buffer& InputFile::Fill(std::int64_t position, std::size_t count) {
    Buffer* target = &main_;
    std::int64_t start = position;
    if (!GoesOnFrom(main_.start, main_.length, main_.size, position) && count <= jump_.size) {
        target = &jump_;
        // Behind the main buffer and not going on from the jump buffer: maybe
        // a backward pass, which the bytes before `position` serve next.
        if (position < main_.start &&
            !GoesOnFrom(jump_.start, jump_.length, jump_.size, position)) {
            const std::int64_t end = position + static_cast<std::int64_t>(count);
            start = std::max<std::int64_t>(0, end - static_cast<std::int64_t>(jump_.size));
        }
    }
    // Bytes the buffer already holds from `start` on are kept, and the read
    // goes on from where the last one ended.
    const std::int64_t end = target->start + target->length;
    std::size_t kept = 0;
    if (start >= target->start && start < end) {
        kept = static_cast<std::size_t>(end - start);
        std::memmove(target->bytes.get(), target->bytes.get() + (start - target->start), kept);
    }
    target->start = start;
    target->length = static_cast<std::int64_t>(
        kept + ReadFromFile(start + static_cast<std::int64_t>(kept), target->bytes.get() + kept,
                            target->size - kept));
    return *target;
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
