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

// The subfield codes of the `length` bytes at `bytes`, of which the first
// follows a '^' when `afterCaret` is set; `afterCaret` is then set when the
// last byte is a '^'.
std::uint64_t SubfieldsIn(const unsigned char* bytes, std::size_t length, bool& afterCaret) {
    std::uint64_t subfields = 0;
    const unsigned char* end = bytes + length;
    const auto add = [&subfields](unsigned char byte) {
        const unsigned bit = kCodeBits.of[byte];
        subfields |= bit < 64 ? std::uint64_t{1} << bit : 0;
    };
    if (afterCaret && bytes != end) {
        add(*bytes);
    }
    afterCaret = false;
    for (const unsigned char* at = bytes; at != end;) {
        const void* caret = std::memchr(at, '^', static_cast<std::size_t>(end - at));
        if (caret == nullptr) {
            break;
        }
        at = static_cast<const unsigned char*>(caret) + 1;
        if (at == end) {
            afterCaret = true;
        } else {
            add(*at);
        }
    }
    return subfields;
}

}  // namespace

DatabaseInfo::DatabaseInfo() : index_(kSmallTags, 0) {}

char DatabaseInfo::SubfieldCode(int bit) {
    return static_cast<char>(bit < 10 ? '0' + bit : 'a' + bit - 10);
}

DatabaseInfo::TagUse& DatabaseInfo::UseOf(std::int32_t tag) {
    const auto small = static_cast<std::uint32_t>(tag - kSmallestTag);
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
    const bool whole =
        ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
            use.subfields |= SubfieldsIn(bytes, length, afterCaret);
            evidence_.Add(bytes, length);
        });
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
