#include "DatabaseInfo.hpp"

#include <algorithm>
#include <cstring>

#include "ValuePieces.hpp"

namespace {

constexpr std::int32_t kSmallestTag = -32768;
constexpr std::size_t kSmallTags = 65536;

// The bit of each byte that may follow '^' as a subfield code: digits, then
// letters in either case; 64 for any other byte.
struct CodeBits {
    unsigned char of[256];
};

constexpr CodeBits MakeCodeBits() {
    CodeBits bits{};
    for (int byte = 0; byte < 256; ++byte) {
        bits.of[byte] = byte >= '0' && byte <= '9'   ? static_cast<unsigned char>(byte - '0')
                        : byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 'a' + 10)
                        : byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 10)
                                                     : 64;
    }
    return bits;
}

constexpr CodeBits kCodeBits = MakeCodeBits();

// Whether the machine stores the lowest byte of a number first, as every
// machine the program is built for does; the compiler knows the answer.
bool LittleEndianMachine() {
    const std::uint16_t one = 1;
    unsigned char first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// The 8 bytes at `bytes`, the first in the lowest bits.
std::uint64_t LittleEndianWord(const unsigned char* bytes) {
    std::uint64_t word = 0;
    if (LittleEndianMachine()) {
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
    for (int i = 0; i < 8; ++i) {
        word |= std::uint64_t{bytes[i]} << (8 * i);
    }
    return word;
}

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// The high bit of each byte of `word` that is '^'.
std::uint64_t CaretsIn(std::uint64_t word) {
    constexpr std::uint64_t kLowBits = ~kHighBits;
    const std::uint64_t x = word ^ 0x5E5E5E5E5E5E5E5Eu;
    return ~(((x & kLowBits) + kLowBits) | x | kLowBits);
}

// The place in its word of the byte whose high bit is the lowest bit set in
// `bits`, a mask of high bits: lowest >> 7 is 1 << (8 * place).
std::size_t PlaceOfLowest(std::uint64_t bits) {
    const std::uint64_t lowest = bits & (~bits + 1);
    return static_cast<std::size_t>(((lowest >> 7) * 0x0001020304050607u) >> 56);
}

// One pass over the `length` bytes at `bytes`, of which the first follows a
// '^' when `afterCaret` is set: returns their subfield codes, sets
// `afterCaret` when the last byte is a '^', and `firstHigh` to the place of
// the first byte 0x80 or above, or to `length`. The bytes are looked at 8 at
// a time, the last of them with the slack that follows every value: most
// words of text hold no '^' and are ASCII.
std::uint64_t Scan(const unsigned char* bytes, std::size_t length, bool& afterCaret,
                   std::size_t& firstHigh) {
    static_assert(kViewSlack >= 8, "a word read at a value's last byte stays in its slack");
    std::uint64_t subfields = 0;
    const auto codeAt = [&](std::size_t at) {
        const unsigned bit = kCodeBits.of[bytes[at]];
        subfields |= bit < 64 ? std::uint64_t{1} << bit : 0;
    };
    // The bytes of the word at `at` that `mask` keeps.
    const auto scanWord = [&](std::size_t at, std::uint64_t mask) {
        const std::uint64_t word = LittleEndianWord(bytes + at);
        if ((word & kHighBits & mask) != 0 && firstHigh == length) {
            firstHigh = at + PlaceOfLowest(word & kHighBits & mask);
        }
        for (std::uint64_t carets = CaretsIn(word) & mask; carets != 0; carets &= carets - 1) {
            const std::size_t next = at + PlaceOfLowest(carets) + 1;
            if (next < length) {
                codeAt(next);
            }
        }
    };
    firstHigh = length;
    if (afterCaret && length > 0) {
        codeAt(0);
    }
    const std::size_t whole = length - length % 8;
    for (std::size_t at = 0; at < whole; at += 8) {
        scanWord(at, ~std::uint64_t{0});
    }
    if (whole < length) {
        scanWord(whole, (std::uint64_t{1} << (8 * (length - whole))) - 1);
    }
    afterCaret = length > 0 && bytes[length - 1] == '^';
    return subfields;
}

}  // namespace

DatabaseInfo::DatabaseInfo() : index_(kSmallTags, 0) {}

char DatabaseInfo::SubfieldCode(int bit) {
    return static_cast<char>(bit < 10 ? '0' + bit : 'a' + bit - 10);
}

DatabaseInfo::TagUse& DatabaseInfo::UseOf(std::int32_t tag) {
    // Tags -32768 to 32767 become 0 to 65535, and all others more, in
    // unsigned numbers, which wrap where signed ones would overflow.
    const std::uint32_t small =
        static_cast<std::uint32_t>(tag) - static_cast<std::uint32_t>(kSmallestTag);
    std::size_t place = 0;
    if (small < kSmallTags) {
        if (index_[small] == 0) {
            uses_.emplace_back().tag = tag;
            index_[small] = static_cast<std::uint32_t>(uses_.size());
        }
        place = index_[small] - 1;
    } else {
        const auto found = otherTags_.emplace(tag, uses_.size());
        if (found.second) {
            uses_.emplace_back().tag = tag;
        }
        place = found.first->second;
    }
    return uses_[place];
}

void DatabaseInfo::Add(const RecordFields& record, ProblemSink& problems) {
    if (records_.firstMfn == 0) {
        records_.firstMfn = record.mfn;
    }
    records_.lastMfn = record.mfn;
    switch (record.state) {
        case RecordFields::State::NotStored:
            ++(record.deleted ? records_.deleted : records_.neverWritten);
            return;
        case RecordFields::State::Unreadable:
            ++records_.damaged;
            return;
        case RecordFields::State::Stored:
            break;
    }
    ++records_.active;
    records_.empty += record.fields.empty() ? 1 : 0;
    values_ += static_cast<std::int64_t>(record.fields.size());
    for (const FieldValue& field : record.fields) {
        TagUse& use = UseOf(field.tag);
        ++use.occurrences;
        if (use.lastMfn != record.mfn || use.records == 0) {
            ++use.records;
            use.lastMfn = record.mfn;
        }
        use.longest = std::max(use.longest, field.length);
        AddValue(use, record, field, problems);
    }
}

void DatabaseInfo::AddValue(TagUse& use, const RecordFields& record, const FieldValue& field,
                            ProblemSink& problems) {
    bool afterCaret = false;
    bool high = false;
    const bool whole =
        ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
            std::size_t firstHigh = 0;
            use.subfields |= Scan(bytes, length, afterCaret, firstHigh);
            evidence_.AddKnowingFirstHighByte(bytes, length, bytes + firstHigh);
            high = high || firstHigh != length;
        });
    valuesWithHighBytes_ += high ? 1 : 0;
    if (!whole) {
        RecordProblem problem{ProblemKind::UnreadValueDescribed};
        problem.mfn = record.mfn;
        problem.tag = field.tag;
        problems.Report(problem);
    }
}

std::vector<DatabaseInfo::TagUse> DatabaseInfo::Tags() const {
    std::vector<TagUse> tags = uses_;
    std::sort(tags.begin(), tags.end(),
              [](const TagUse& a, const TagUse& b) { return a.tag < b.tag; });
    return tags;
}
