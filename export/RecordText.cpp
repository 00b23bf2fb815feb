// A record rendered as tagged text: one "<TAG>value</TAG>\n" line per
// directory entry, in directory order.
#include <charconv>
#include <cstring>

#include "masterfile/MasterFileReader.hpp"

namespace {

bool LeaderIsConsistent(const RecordLeader& leader) {
    return leader.NVF >= 0 &&
           leader.BASE == layout::kLeaderSize + layout::kDirectoryEntrySize * leader.NVF &&
           leader.MFRL >= leader.BASE;
}

void AppendTag(std::string& text, std::int16_t tag) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, tag).ptr;
    text.append(digits, end);
}

}  // namespace

bool MasterFileReader::AppendRecordText(std::int32_t mfn, std::string& text,
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

    RecordLeader leader;
    RecordFault fault = RecordFault::None;
    if (ReadLeader(mfn, &leader, &fault) != 0) {
        if (fault == RecordFault::PastEndOfMaster) {
            report(RecordProblem::Kind::PastEndOfMaster, leader);
        } else if (fault == RecordFault::PointerMissing) {
            report(RecordProblem::Kind::PointerMissing, leader);
        }
        return true;
    }
    if (!LeaderIsConsistent(leader)) {
        report(RecordProblem::Kind::InconsistentLeader, leader);
        return true;
    }

    const std::int32_t count = leader.NVF;
    const std::int32_t dataLength = leader.MFRL - leader.BASE;
    // A record longer than the whole master file reaches past its end; saying
    // so before the directory and data are sized keeps a leader's claims from
    // costing memory.
    if (layout::kDirectoryEntrySize * static_cast<std::int64_t>(count) + dataLength >
        master->Size()) {
        report(RecordProblem::Kind::PastEndOfMaster, leader);
        return true;
    }
    // ReadFields wants a directory even for no entries.
    directory_.reserve(1);
    directory_.resize(static_cast<std::size_t>(count));
    data_.resize(static_cast<std::size_t>(dataLength) + 1);
    if (ReadFields(mfn, directory_.data(), count, data_.data(), dataLength, &fault) != 0) {
        report(RecordProblem::Kind::PastEndOfMaster, leader);
        return true;
    }

    // Room for the usual markup of every line; tags of five or more
    // characters and overlapping values make the text grow past it.
    text.reserve(text.size() + 15 * static_cast<std::size_t>(count) +
                 static_cast<std::size_t>(dataLength));
    for (const DirectoryEntry& entry : directory_) {
        if (entry.POS < 0 || entry.LEN < 0 || entry.POS + entry.LEN > dataLength) {
            report(RecordProblem::Kind::EntryOutsideData, leader, entry);
            continue;
        }
        // A value ends at its first zero byte.
        const unsigned char* value = data_.data() + entry.POS;
        const void* zero = std::memchr(value, 0, static_cast<std::size_t>(entry.LEN));
        const std::size_t length =
            zero != nullptr
                ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - value)
                : static_cast<std::size_t>(entry.LEN);
        text += '<';
        AppendTag(text, entry.TAG);
        text += '>';
        text.append(reinterpret_cast<const char*>(value), length);
        text += "</";
        AppendTag(text, entry.TAG);
        text += ">\n";
    }
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
