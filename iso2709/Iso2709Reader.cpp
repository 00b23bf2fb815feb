#include "Iso2709Reader.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kRecordRoom = IsoLeader::kLongestRecord + kViewSlack;
constexpr std::size_t kLineLength = IsoVariant::kLineLength;
constexpr std::size_t kTagSize = 3;
// DOS editors and copies may end a file with it.
constexpr unsigned char kDosEndOfFile = 0x1A;
// How much of the file is searched at a time for the next record terminator.
constexpr std::size_t kSearchBlock = 4096;
// How far into the file the records that decide its variant may lie: a
// variant that reads none of them must not search the whole file.
constexpr std::int64_t kDecidingBytes =
    Iso2709Reader::kDecidingRecords * 2 * static_cast<std::int64_t>(IsoLeader::kLongestRecord);

// How far reading a record got: an attempt that fails later says more about
// what the file is.
enum Stage : int {
    kNoLeader,
    kLeader,      // the leader's numbers agree
    kInFile,      // the file holds as many bytes as the record takes
    kTerminated,  // the record terminator is where the record length puts it
    kFramed,      // every line end is in place: the next record follows it
    kRead,        // the directory agrees with the record
};

std::string Number(std::size_t number) {
    return std::to_string(number);
}

// A tag for a message: printable ASCII as it is, other bytes as \xHH.
std::string TagText(const unsigned char* tag) {
    std::string text;
    for (std::size_t i = 0; i < kTagSize; ++i) {
        if (tag[i] >= 0x20 && tag[i] < 0x7F && tag[i] != '\\') {
            text += static_cast<char>(tag[i]);
        } else {
            char escaped[5];
            (void)std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(tag[i]));
            text += escaped;
        }
    }
    return text;
}

bool BetweenRecords(unsigned char byte) {
    return byte == '\r' || byte == '\n' || byte == kDosEndOfFile;
}

// Whether the line end of `size` bytes, CR LF or LF, is at `at`.
template <std::size_t size>
bool LineEndAt(const unsigned char* at) {
    static_assert(size == 1 || size == 2, "CR LF or LF");
    if constexpr (size == 2) {
        return at[0] == '\r' && at[1] == '\n';
    } else {
        return at[0] == '\n';
    }
}

// Copies the record of `length` bytes from its lines at `in` to `bytes`: lines
// of kLineLength bytes, the last shorter, each followed by a line end of
// `lineEnd` bytes, the last one's only when `lastLineEnded`. Returns 0, or the
// byte after which a line end is missing. `in` has kViewSlack readable bytes
// after the record, `bytes` room for kViewSlack after `length`: the last line
// is copied in two fixed blocks, without a loop or a branch on its length.
template <std::size_t lineEnd>
std::size_t JoinLines(const unsigned char* in, std::size_t length, bool lastLineEnded,
                      unsigned char* bytes) {
    constexpr std::size_t kHead = 64;
    constexpr std::size_t kTail = kLineLength - kHead;
    static_assert(kHead <= kViewSlack, "the last line's first block lies in the slack");
    std::size_t at = 0;
    for (; at + kLineLength <= length; at += kLineLength, in += kLineLength + lineEnd) {
        std::memcpy(bytes + at, in, kLineLength);
        if (!LineEndAt<lineEnd>(in + kLineLength) && (lastLineEnded || at + kLineLength < length)) {
            return at + kLineLength;
        }
    }
    if (at < length) {
        // Its first kHead bytes, and the kTail bytes that end it, or its
        // first kTail when it is shorter: together the whole line.
        const std::size_t last = length - at;
        const std::size_t tail = last > kTail ? last - kTail : 0;
        std::memcpy(bytes + at, in, kHead);
        std::memcpy(bytes + at + tail, in + tail, kTail);
        if (lastLineEnded && !LineEndAt<lineEnd>(in + last)) {
            return length;
        }
    }
    return 0;
}

}  // namespace

Iso2709Reader::Iso2709Reader(InputFile& file)
    : file_(file), record_(new unsigned char[kRecordRoom]()) {}

Iso2709Reader::Opened Iso2709Reader::Open(std::string& reason) {
    open_ = false;
    hasRecords_ = false;
    next_ = 0;
    position_ = 0;
    if (!file_.IsOpen()) {
        reason = "it is not open";
        return Opened::NotIso2709;
    }
    if (SkipBetweenRecords(0) >= file_.Size()) {
        return Opened::Empty;
    }
    int most = 0;
    Trial telling;  // the trial whose first attempt got furthest, of the most tried
    for (const IsoVariant& variant : kIsoVariants) {
        const Trial trial = Try(variant);
        if (trial.read > most) {
            most = trial.read;
            variant_ = variant;
            if (trial.read == trial.tried) {
                break;  // the variants after it can only read as many
            }
        }
        if (&variant == kIsoVariants || trial.first.stage > telling.first.stage ||
            (trial.first.stage == telling.first.stage && trial.tried > telling.tried)) {
            telling = trial;
        }
    }
    if (most == 0) {
        if (telling.first.stage == kNoLeader) {
            reason = "its first bytes are not an ISO 2709 leader: " + telling.first.reason;
        } else if (telling.tried == 1) {
            reason = "its one record cannot be read as ISO 2709: " + telling.first.reason;
        } else {
            reason = "none of its first " + std::to_string(telling.tried) +
                     " records can be read as ISO 2709; the first: " + telling.first.reason;
        }
        return Opened::NotIso2709;
    }
    open_ = true;
    hasRecords_ = true;
    return Opened::Records;
}

void Iso2709Reader::Rewind() {
    open_ = hasRecords_;
    next_ = 0;
    position_ = 0;
}

Iso2709Reader::Trial Iso2709Reader::Try(const IsoVariant& variant) {
    Trial trial;
    RecordFields scratch;
    Attempt attempt;
    const std::int64_t end = std::min(file_.Size(), kDecidingBytes);
    std::int64_t at = 0;
    while (trial.tried < kDecidingRecords) {
        at = SkipBetweenRecords(at);
        if (at >= end) {
            break;
        }
        ReadAt(at, variant, scratch, nullptr, attempt);
        if (trial.tried == 0) {
            trial.first = attempt;
        }
        ++trial.tried;
        trial.read += attempt.stage == kRead ? 1 : 0;
        at = attempt.stage == kRead ? attempt.next : AfterDamage(at, variant, attempt, end);
    }
    return trial;
}

Iso2709Reader::Next Iso2709Reader::ReadNext(RecordFields& record, ProblemSink* problems) {
    record.fields.clear();
    record.valueBytes = 0;
    record.valueReader = nullptr;
    record.state = RecordFields::State::NotStored;
    const std::int64_t start = open_ ? SkipBetweenRecords(next_) : file_.Size();
    if (start >= file_.Size() || position_ == std::numeric_limits<std::int32_t>::max()) {
        open_ = false;
        return Next::End;
    }
    record.mfn = ++position_;
    ReadAt(start, variant_, record, problems, attempt_);
    if (attempt_.stage == kRead) {
        record.state = RecordFields::State::Stored;
        next_ = attempt_.next;
        return Next::Record;
    }
    next_ = AfterDamage(start, variant_, attempt_, file_.Size());
    RecordProblem problem{ProblemKind::IsoRecordUnreadable};
    problem.offset = start;
    problem.detail = attempt_.reason;
    ReportProblem(record, problem, problems);
    return Next::Damaged;
}

void Iso2709Reader::ReadAt(std::int64_t start, const IsoVariant& variant, RecordFields& record,
                           ProblemSink* problems, Attempt& attempt) {
    attempt.stage = kNoLeader;
    const auto left = static_cast<std::uint64_t>(file_.Size() - start);
    const unsigned char* leader = file_.View(start, IsoLeader::kSize);
    if (leader == nullptr) {
        attempt.reason = left < IsoLeader::kSize ? "the file ends inside the record's leader"
                                                 : "the file cannot be read there";
        return;
    }
    if (const char* why = ReadLeader(leader, leader_)) {
        attempt.reason = why;
        return;
    }
    attempt.stage = kLeader;

    const std::size_t length = leader_.recordLength;
    const std::size_t lineEnd = variant.LineEndSize();
    std::size_t extent = variant.Extent(length);
    // The line end after the last line may be missing at the end of the file.
    bool lastLineEnded = true;
    if (left < extent) {
        if (lineEnd == 0 || left != extent - lineEnd) {
            attempt.reason = "the file ends inside the record: its leader gives " + Number(length) +
                             " bytes, the file holds " + std::to_string(left) + " from its start";
            return;
        }
        lastLineEnded = false;
        extent -= lineEnd;
    }
    attempt.stage = kInFile;
    attempt.next = start + static_cast<std::int64_t>(extent);

    const unsigned char* in = file_.View(start, extent);
    if (in == nullptr) {
        attempt.reason = "the file cannot be read inside the record";
        return;
    }
    if (in[variant.FileOffset(length - 1)] != variant.RecordEnd()) {
        attempt.reason = "its byte " + Number(length) +
                         ", the last by its leader's record length, is not the record terminator";
        return;
    }
    attempt.stage = kTerminated;

    // The record's bytes without the line ends: where the file has none, the
    // record in the file's buffer as it is.
    std::size_t missing = 0;
    switch (variant.lineEnd) {
        case IsoVariant::LineEnd::CrLf:
            missing = JoinLines<2>(in, length, lastLineEnded, record_.get());
            bytes_ = record_.get();
            break;
        case IsoVariant::LineEnd::Lf:
            missing = JoinLines<1>(in, length, lastLineEnded, record_.get());
            bytes_ = record_.get();
            break;
        case IsoVariant::LineEnd::None:
            bytes_ = in;
            break;
    }
    if (missing != 0) {
        attempt.reason = "no line end after its byte " + Number(missing);
        return;
    }
    attempt.stage = kFramed;

    if (TakeFields(start, variant, record, problems, attempt.reason)) {
        attempt.stage = kRead;
    }
}

namespace {

// A directory entry's length and start: in the widths of CDS/ISIS's entry map
// when `lengthDigits` is 4 and `startDigits` 5, the first eight of their nine
// digits at once; in the leader's otherwise (0 and 0).
template <std::size_t lengthDigits, std::size_t startDigits>
bool ReadEntry(const unsigned char* entry, const IsoLeader& leader, std::size_t& length,
               std::size_t& start) {
    if constexpr (lengthDigits != 0) {
        static_assert(lengthDigits == 4 && startDigits == 5, "CDS/ISIS's entry map");
        const std::uint64_t eight = EightBytes(entry + kTagSize);
        const unsigned last = entry[kTagSize + 8] - static_cast<unsigned>('0');
        if (!EightDigits(eight) || last > 9) {
            return false;
        }
        const std::uint32_t value = EightDigitsValue(eight);
        length = value / 10000;
        start = value % 10000 * 10 + last;
        return true;
    } else {
        return ReadDigits(entry + kTagSize, leader.lengthDigits, length) &&
               ReadDigits(entry + kTagSize + leader.lengthDigits, leader.startDigits, start);
    }
}

// Takes the fields of the directory's entries in CDS/ISIS's map, from the
// first on, while each entry is twelve digits whose field lies in the data
// (`dataLength` bytes at `data`) and ends with `fieldEnd`, as nearly every
// entry of every file is. Returns how many it took, into `fields`, their
// value bytes added to `valueBytes`; the careful reading goes on from the
// first that is not such an entry.
std::size_t TakeWellFormedEntries(const unsigned char* entry, std::size_t count,
                                  const unsigned char* data, std::size_t dataLength,
                                  unsigned char fieldEnd, FieldValue* fields,
                                  std::size_t& valueBytes) {
    std::size_t taken = 0;
    std::size_t bytes = 0;
    for (; taken < count; ++taken, entry += IsoLeader::kUsualEntrySize) {
        // Two overlapping eight-byte reads tell whether the twelve bytes are
        // digits; the length and the start's first four are read as two
        // fours, the tag and the start's last digit one by one.
        if (!EightDigits(EightBytes(entry)) || !EightDigits(EightBytes(entry + 4))) {
            break;
        }
        const std::uint64_t fours = EightDigitsAsFours(EightBytes(entry + 3));
        const std::size_t length = fours & 0xFFFF;
        const std::size_t start = (fours >> 32) * 10 + (entry[11] - std::size_t{'0'});
        const int tag = entry[0] * 100 + entry[1] * 10 + entry[2] - '0' * 111;
        // Both are below 100000: their sum cannot wrap.
        if (length == 0 || start + length > dataLength || data[start + length - 1] != fieldEnd) {
            break;
        }
        fields[taken] = FieldValue{tag, data + start, length - 1};
        bytes += length - 1;
    }
    valueBytes += bytes;
    return taken;
}

}  // namespace

bool Iso2709Reader::TakeFields(std::int64_t start, const IsoVariant& variant, RecordFields& record,
                               ProblemSink* problems, std::string& reason) {
    return leader_.lengthDigits == 4 && leader_.startDigits == 5
               ? TakeFieldsOf<4, 5>(start, variant, record, problems, reason)
               : TakeFieldsOf<0, 0>(start, variant, record, problems, reason);
}

template <std::size_t lengthDigits, std::size_t startDigits>
bool Iso2709Reader::TakeFieldsOf(std::int64_t start, const IsoVariant& variant,
                                 RecordFields& record, ProblemSink* problems, std::string& reason) {
    const unsigned char* const bytes = bytes_;
    const unsigned char fieldEnd = variant.FieldEnd();
    const std::size_t base = leader_.baseAddress;
    // The data: from the base address to the record terminator.
    const std::size_t dataLength = leader_.recordLength - 1 - base;
    if (bytes[base - 1] != fieldEnd) {
        reason = "its directory does not end with a field terminator";
        return false;
    }
    const std::size_t count = leader_.entryCount;
    const std::size_t entrySize = leader_.EntrySize();
    FieldValue* const fields = record.fields.Room(count);
    std::size_t kept = 0;
    std::size_t misnamed = 0;
    std::size_t valueBytes = 0;
    const unsigned char* entry = bytes + IsoLeader::kSize;
    std::size_t first = 0;  // the first entry of the careful reading
    if constexpr (lengthDigits != 0) {
        if (entrySize == IsoLeader::kUsualEntrySize) {
            first = kept = TakeWellFormedEntries(entry, count, bytes + base, dataLength, fieldEnd,
                                                 fields, valueBytes);
            entry += first * entrySize;
        }
    }
    for (std::size_t i = first; i < count; ++i, entry += entrySize) {
        std::size_t length = 0;
        std::size_t offset = 0;
        if (!ReadEntry<lengthDigits, startDigits>(entry, leader_, length, offset)) {
            reason = "directory entry " + Number(i + 1) + " (tag " + TagText(entry) +
                     "): its length or start is not digits";
            return false;
        }
        if (length == 0 || offset > dataLength || length > dataLength - offset) {
            reason = "directory entry " + Number(i + 1) + " (tag " + TagText(entry) +
                     ") reaches past the data: start " + Number(offset) + ", length " +
                     Number(length) + ", " + Number(dataLength) + " bytes of data";
            return false;
        }
        const unsigned char* value = bytes + base + offset;
        if (value[length - 1] != fieldEnd) {
            reason = "the field of directory entry " + Number(i + 1) + " (tag " + TagText(entry) +
                     ") does not end with a field terminator";
            return false;
        }
        std::size_t tag = 0;
        if (!ReadDigits<kTagSize>(entry, tag)) {
            ++misnamed;
            continue;
        }
        fields[kept++] = FieldValue{static_cast<std::int32_t>(tag), value, length - 1};
        valueBytes += length - 1;
    }

    // Values are what is stored up to a zero byte, as the master file's are.
    if (std::memchr(bytes + base, 0, dataLength) != nullptr) {
        for (std::size_t i = 0; i < kept; ++i) {
            if (const void* found = std::memchr(fields[i].bytes, 0, fields[i].length)) {
                const auto cut = static_cast<std::size_t>(static_cast<const unsigned char*>(found) -
                                                          fields[i].bytes);
                valueBytes -= fields[i].length - cut;
                fields[i].length = cut;
            }
        }
    }
    record.fields.Resize(kept);
    record.valueBytes = valueBytes;

    if (misnamed > 0 && problems != nullptr) {
        entry = bytes + IsoLeader::kSize;
        for (std::size_t i = 0; i < count; ++i, entry += entrySize) {
            std::size_t tag = 0;
            if (!ReadDigits(entry, kTagSize, tag)) {
                RecordProblem problem{ProblemKind::IsoTagNotDigits};
                problem.offset = start;
                problem.detail = TagText(entry);
                ReportProblem(record, problem, problems);
            }
        }
    }
    return true;
}

std::int64_t Iso2709Reader::AfterDamage(std::int64_t start, const IsoVariant& variant,
                                        const Attempt& attempt, std::int64_t searchEnd) {
    // Where the record's length ends it is trusted when its lines are in
    // place, or when another record follows there.
    if (attempt.stage >= kFramed || (attempt.stage >= kInFile && RecordOrEndAt(attempt.next))) {
        return attempt.next;
    }
    return SearchNextRecord(start, variant, searchEnd);
}

std::int64_t Iso2709Reader::SearchNextRecord(std::int64_t start, const IsoVariant& variant,
                                             std::int64_t searchEnd) {
    const std::int64_t size = file_.Size();
    const unsigned char recordEnd = variant.RecordEnd();
    const std::size_t lineEnd = variant.LineEndSize();
    std::int64_t at = start;
    while (at < searchEnd) {
        const auto count =
            static_cast<std::size_t>(std::min<std::int64_t>(kSearchBlock, searchEnd - at));
        const unsigned char* block = file_.View(at, count);
        if (block == nullptr) {
            return size;  // a read error: nothing after it can be read either
        }
        const void* found = std::memchr(block, recordEnd, count);
        if (found == nullptr) {
            at += static_cast<std::int64_t>(count);
            continue;
        }
        const std::int64_t after = at + (static_cast<const unsigned char*>(found) - block) + 1;
        std::int64_t next = after;
        if (lineEnd > 0 && after < size) {
            const unsigned char* end = file_.View(after, lineEnd);
            next = end != nullptr && variant.IsLineEnd(end)
                       ? after + static_cast<std::int64_t>(lineEnd)
                       : -1;
        }
        if (next >= 0 && RecordOrEndAt(next)) {
            return next;
        }
        at = after;
    }
    return size;
}

bool Iso2709Reader::RecordOrEndAt(std::int64_t at) {
    at = SkipBetweenRecords(at);
    if (at >= file_.Size()) {
        return true;
    }
    const unsigned char* leader = file_.View(at, IsoLeader::kSize);
    IsoLeader ignored;
    return leader != nullptr && ReadLeader(leader, ignored) == nullptr;
}

std::int64_t Iso2709Reader::SkipBetweenRecords(std::int64_t at) {
    const std::int64_t size = file_.Size();
    while (at < size) {
        const unsigned char* byte = file_.View(at, 1);
        if (byte == nullptr || !BetweenRecords(*byte)) {
            break;
        }
        ++at;
    }
    return at;
}
