// A record rendered as tagged text: one "<TAG>value</TAG>\n" line per
// directory entry, in directory order.
#include <charconv>
#include <cstring>

#include "masterfile/MasterFileReader.hpp"

namespace {

// "-32768" is the longest tag.
constexpr std::size_t kLongestTag = 6;
// A line's markup: '<', tag, '>', "</", tag, ">\n".
constexpr std::size_t kMostMarkup = 1 + kLongestTag + 1 + 2 + kLongestTag + 2;
// The tag is copied as 8 bytes whatever its length, so a line may be
// written up to this many bytes past its end.
constexpr std::size_t kTagCopy = 8;
constexpr std::size_t kOverrun = kTagCopy - 2;

// The decimal digits of the tags 0 to 999, which nearly every database
// uses, in 4 bytes each: up to three digits, then how many there are.
struct SmallTags {
    char bytes[1000][4];
    constexpr SmallTags() : bytes() {
        for (int tag = 0; tag < 1000; ++tag) {
            const int count = tag >= 100 ? 3 : tag >= 10 ? 2 : 1;
            int rest = tag;
            for (int i = count - 1; i >= 0; --i) {
                bytes[tag][i] = static_cast<char>('0' + rest % 10);
                rest /= 10;
            }
            bytes[tag][3] = static_cast<char>(count);
        }
    }
};
constexpr SmallTags kSmallTags;

// Puts the tag's digits into `digits`, possibly followed by other bytes, and
// returns how many there are.
std::size_t TagDigits(std::int16_t tag, char (&digits)[kTagCopy]) {
    if (tag >= 0 && tag < 1000) {
        std::memcpy(digits, kSmallTags.bytes[tag], 4);
        return static_cast<std::size_t>(digits[3]);
    }
    return static_cast<std::size_t>(std::to_chars(digits, digits + kTagCopy, tag).ptr - digits);
}

char* WriteLine(char* out, std::int16_t tag, const unsigned char* value, std::size_t length) {
    char digits[kTagCopy];
    const std::size_t tagLength = TagDigits(tag, digits);
    *out++ = '<';
    std::memcpy(out, digits, kTagCopy);
    out += tagLength;
    *out++ = '>';
    std::memcpy(out, value, length);
    out += length;
    *out++ = '<';
    *out++ = '/';
    std::memcpy(out, digits, kTagCopy);
    out += tagLength;
    *out++ = '>';
    *out++ = '\n';
    return out;
}

}  // namespace

bool MasterFileReader::AppendRecordText(std::int32_t mfn, std::string& text,
                                        std::vector<RecordProblem>* problems) {
    recordText_.Clear();
    if (!AppendRecordText(mfn, recordText_, problems)) {
        return false;
    }
    text.append(recordText_.Data(), recordText_.Size());
    return true;
}

bool MasterFileReader::AppendRecordText(std::int32_t mfn, TextBuffer& text,
                                        std::vector<RecordProblem>* problems) {
    if (!StreamsAndMfnValid(mfn)) {
        return false;
    }
    auto report = [problems](RecordProblem::Kind kind, const RecordLeader& leader,
                             DirectoryEntry entry = {}) {
        if (problems != nullptr) {
            problems->push_back({kind, leader, entry});
        }
    };

    // The record is found once, and read straight from the master file's
    // buffer: leader, directory and data area are all in one view.
    RecordFault fault = RecordFault::None;
    const auto start = LocateRecord(mfn, fault);
    if (!start) {
        if (fault == RecordFault::PointerMissing) {
            report(RecordProblem::Kind::PointerMissing, RecordLeader{});
        }
        return true;
    }
    RecordLeader leader;
    const std::int32_t leaderSize = ReadLeaderAt(*start, leader, fault);
    if (leaderSize == 0) {
        report(RecordProblem::Kind::PastEndOfMaster, RecordLeader{});
        return true;
    }
    if (fault == RecordFault::InconsistentLeader) {
        report(RecordProblem::Kind::InconsistentLeader, leader);
        return true;
    }
    const unsigned char* record = *start + leader.MFRL <= master->Size()
                                      ? master->View(*start, static_cast<std::size_t>(leader.MFRL))
                                      : nullptr;
    if (record == nullptr) {
        report(RecordProblem::Kind::PastEndOfMaster, leader);
        return true;
    }
    const unsigned char* directory = record + leaderSize;
    const unsigned char* data = record + leader.BASE;
    const std::int32_t dataLength = leader.MFRL - leader.BASE;

    // Room for every line at its longest.
    std::size_t room = kOverrun;
    for (std::int32_t i = 0; i < leader.NVF; ++i) {
        const std::int16_t length =
            layout::DecodeInt16(directory + layout::kDirectoryEntrySize * i + 4);
        room += kMostMarkup + static_cast<std::size_t>(length > 0 ? length : 0);
    }
    char* out = text.Room(room);
    // Zero bytes are rare: one search of the whole data area usually spares
    // one search for each value.
    const bool dataHasZero = std::memchr(data, 0, static_cast<std::size_t>(dataLength)) != nullptr;
    for (std::int32_t i = 0; i < leader.NVF; ++i) {
        const unsigned char* bytes = directory + layout::kDirectoryEntrySize * i;
        DirectoryEntry entry;
        entry.TAG = layout::DecodeInt16(bytes);
        entry.POS = layout::DecodeInt16(bytes + 2);
        entry.LEN = layout::DecodeInt16(bytes + 4);
        if (entry.POS < 0 || entry.LEN < 0 || entry.POS + entry.LEN > dataLength) {
            report(RecordProblem::Kind::EntryOutsideData, leader, entry);
            continue;
        }
        // A value ends at its first zero byte.
        const unsigned char* value = data + entry.POS;
        const void* zero =
            dataHasZero ? std::memchr(value, 0, static_cast<std::size_t>(entry.LEN)) : nullptr;
        const std::size_t length =
            zero != nullptr
                ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - value)
                : static_cast<std::size_t>(entry.LEN);
        out = WriteLine(out, entry.TAG, value, length);
    }
    text.Extend(out);
    return true;
}

std::optional<std::string> MasterFileReader::RecordText(std::int32_t mfn,
                                                        std::vector<RecordProblem>* problems) {
    std::string text;
    if (!AppendRecordText(mfn, text, problems)) {
        return std::nullopt;
    }
    return text;
}
