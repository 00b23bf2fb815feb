// A record's directory read entry by entry, a chunk at a time, so that no
// directory needs memory of its size, however many entries it claims.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "OnDiskLayout.hpp"
#include "platform/InputFile.hpp"

namespace layout {

// Calls `use(entry)` for each of the `count` entries of `shape` that begin at
// `position` of `file`, in order, until it returns false. Each chunk is
// copied before its entries are used, so `use` may read the file too.
// Returns false when the file cannot give an entry. The file's largest view
// must hold an entry.
template <ByteOrder order, typename Use>
bool ForEachEntry(InputFile& file, std::int64_t position, std::int32_t count,
                  const EntryShape& shape, Use&& use) {
    constexpr std::size_t kChunkBytes = 12 * 512;
    unsigned char chunk[kChunkBytes];
    const auto size = static_cast<std::size_t>(shape.size);
    const std::int64_t perChunk =
        static_cast<std::int64_t>(std::min(kChunkBytes, file.LargestView()) / size);
    for (std::int64_t done = 0; done < count;) {
        const auto entries = static_cast<std::size_t>(std::min(perChunk, count - done));
        const unsigned char* bytes = file.View(position + done * shape.size, entries * size);
        if (bytes == nullptr) {
            return false;
        }
        std::memcpy(chunk, bytes, entries * size);
        for (std::size_t i = 0; i < entries; ++i) {
            if (!use(DecodeEntry<order>(chunk + i * size, shape))) {
                return true;
            }
        }
        done += static_cast<std::int64_t>(entries);
    }
    return true;
}

}  // namespace layout
