// A growable byte buffer for text that is written through a pointer.
//
// Unlike std::string it hands out room without clearing it first: the
// caller asks for as much as it may write, writes, then says where it ended.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>

class TextBuffer {
  public:
    explicit TextBuffer(std::size_t capacity = 0)
        : bytes_(new char[capacity > 0 ? capacity : 1]), capacity_(capacity > 0 ? capacity : 1) {}

    const char* Data() const { return bytes_.get(); }
    std::size_t Size() const { return size_; }
    void Clear() { size_ = 0; }

    // Room for at least `count` bytes after the text, valid until the next
    // call to Room or Append.
    char* Room(std::size_t count) {
        if (capacity_ - size_ < count) {
            Grow(count);
        }
        return bytes_.get() + size_;
    }
    // Takes the bytes written into the room, up to `end`, into the text.
    void Extend(const char* end) { size_ = static_cast<std::size_t>(end - bytes_.get()); }

    void Append(const char* bytes, std::size_t count) {
        std::memcpy(Room(count), bytes, count);
        size_ += count;
    }

  private:
    void Grow(std::size_t count) {
        std::size_t capacity = capacity_ * 2;
        if (capacity - size_ < count) {
            capacity = size_ + count;
        }
        std::unique_ptr<char[]> bytes(new char[capacity]);
        std::memcpy(bytes.get(), bytes_.get(), size_);
        bytes_ = std::move(bytes);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};
