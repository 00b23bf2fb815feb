// Damage swept over a small database, byte by byte: every truncation of
// either file and every leader and directory byte set to 0x00, 0x7F, 0x80 and
// 0xFF. The export runs in-process, so the sanitizer build checks every run.
// Each run must give the status, messages and output that the README's table
// gives for the damaged bytes, with every undamaged record exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <utility>

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

// How a swept database is written. `format` Standard stands for standard
// records, each with the leader `leaderOf` gives it.
struct Shape {
    const char* name;
    LeaderLayout format;
    Endianness order;
    int shift;
    std::function<LeaderLayout(int)> leaderOf;
};
void PrintTo(const Shape& shape, std::ostream* out) {
    *out << shape.name;
}

LeaderLayout Always(LeaderLayout layout, int) {
    return layout;
}
LeaderLayout Alternating(int i) {
    return i % 2 == 0 ? LeaderLayout::Aligned : LeaderLayout::Standard;
}
using std::placeholders::_1;

// The databases swept; another shape is one more line here.
const Shape kShapes[] = {
    {"StandardLeaders", LeaderLayout::Standard, Endianness::Little, 0,
     std::bind(Always, LeaderLayout::Standard, _1)},
    {"AlignedLeaders", LeaderLayout::Standard, Endianness::Little, 0,
     std::bind(Always, LeaderLayout::Aligned, _1)},
    {"AlternatingLeaders", LeaderLayout::Standard, Endianness::Little, 0, Alternating},
    {"BigEndianAlternatingLeaders", LeaderLayout::Standard, Endianness::Big, 0, Alternating},
    {"FfiShift3", LeaderLayout::Ffi, Endianness::Little, 3,
     std::bind(Always, LeaderLayout::Ffi, _1)},
    {"BigEndianFfiAligned", LeaderLayout::FfiAligned, Endianness::Big, 2,
     std::bind(Always, LeaderLayout::FfiAligned, _1)},
};

// Records of every kind, in the shape's layout: fewer than 8 are stored,
// so that the line about unreadable files never replaces their messages.
DatabaseWriter MixedRecords(const Shape& shape) {
    DatabaseWriter db;
    db.SetByteOrder(shape.order);
    db.SetPointerShift(shape.shift);
    int written = 0;
    auto next = [&]() -> DatabaseWriter& {
        db.SetLeaderLayout(shape.leaderOf(written++));
        return db;
    };
    next().Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}, {70, "Franco, C.M."}}});
    next().Add({});
    next().Add({{{-5, "negative"}, {32767, std::string("zero\0byte", 9)}}});
    db.Delete(next().Add({{{2, "deleted"}}}));
    db.AddUnwritten();
    next().Add({{{3, "old version"}}});
    next().Update(6, {{{3, "new"}, {4, "a\nb"}}});
    next().Add({{{5, "locked"}}, 0, true});
    // An 18-byte leader with 26 fields and STATUS 1, or 20 and STATUS 0,
    // also reads as a consistent 20-byte one; in other leaders such records
    // are like any other, and only slow the sweep.
    for (const auto& [count, status] : {std::pair<int, std::int16_t>{26, 1}, {20, 0}}) {
        if (shape.leaderOf(written) != LeaderLayout::Standard) {
            continue;
        }
        FixtureRecord many;
        many.status = status;
        for (int f = 0; f < count; ++f) {
            many.fields.push_back({static_cast<std::int16_t>(f + 1), std::string(1, 'a' + f)});
        }
        next().Add(many);
    }
    return db;
}

// How the model reads the files: the database's layout as the README's
// rule decides it.
struct Reading {
    Endianness order;
    int shift;
    LeaderLayout format;
};

std::int32_t Int16At(const std::string& bytes, std::int64_t at, Endianness order) {
    auto byte = [&](std::int64_t i) {
        return static_cast<unsigned char>(bytes[static_cast<std::size_t>(at + i)]);
    };
    const int value =
        order == Endianness::Little ? byte(0) | (byte(1) << 8) : (byte(0) << 8) | byte(1);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

std::int32_t Int32At(const std::string& bytes, std::int64_t at, Endianness order) {
    std::uint32_t value = 0;
    for (std::int64_t i = 0; i < 4; ++i) {
        const std::int64_t from = order == Endianness::Little ? 3 - i : i;
        value =
            (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(at + from)]);
    }
    return static_cast<std::int32_t>(value);
}

bool IsFfi(LeaderLayout layout) {
    return layout == LeaderLayout::Ffi || layout == LeaderLayout::FfiAligned;
}

std::int64_t Absolute(std::int32_t value) {
    return value < 0 ? -static_cast<std::int64_t>(value) : value;
}

// A record's leader as the README's layout rule reads it. In the standard
// format, the 20-byte reading is a candidate when it is consistent, the
// record ends inside the file and its values fill the data area (to within 3
// bytes); it is used when the 18-byte reading is not consistent, or when it
// is but does not name the MFN or keep its directory inside the data area
// while the 20-byte one does both; else the 18-byte one. `size` is 0 when
// nothing fits; the other fields then hold the 18-byte (or the FFI) reading.
// `pastEnd` when only the 20-byte reading is consistent (as far as the file
// holds it) and the record reaches past the end of the file.
struct LeaderReading {
    std::int32_t size;
    std::int32_t entrySize;
    std::int32_t mfn;
    std::int32_t mfrl;
    std::int32_t base;
    std::int32_t nvf;
    bool pastEnd = false;
};

bool Fits(const LeaderReading& leader) {
    return leader.nvf >= 0 && leader.base == leader.size + leader.entrySize * leader.nvf &&
           Absolute(leader.mfrl) >= leader.base;
}

struct EntryReading {
    std::int32_t tag;
    std::int32_t pos;
    std::int32_t len;
};

EntryReading EntryAt(const std::string& mst, std::int64_t at, const Reading& reading) {
    const Endianness order = reading.order;
    switch (reading.format) {
        case LeaderLayout::Ffi:
            return {Int16At(mst, at, order), Int32At(mst, at + 2, order),
                    Int32At(mst, at + 6, order)};
        case LeaderLayout::FfiAligned:
            return {Int16At(mst, at, order), Int32At(mst, at + 4, order),
                    Int32At(mst, at + 8, order)};
        default:
            return {Int16At(mst, at, order), Int16At(mst, at + 2, order),
                    Int16At(mst, at + 4, order)};
    }
}

bool InsideData(const EntryReading& entry, const LeaderReading& leader) {
    return entry.pos >= 0 && entry.len >= 0 &&
           static_cast<std::int64_t>(entry.pos) + entry.len <= Absolute(leader.mfrl) - leader.base;
}

bool LooksLikeItsOwn(const std::string& mst, std::int64_t start, std::int32_t mfn,
                     const LeaderReading& leader, const Reading& reading) {
    if (leader.mfn != mfn ||
        start + Absolute(leader.mfrl) > static_cast<std::int64_t>(mst.size())) {
        return false;
    }
    for (std::int32_t i = 0; i < leader.nvf; ++i) {
        if (!InsideData(EntryAt(mst, start + leader.size + leader.entrySize * i, reading),
                        leader)) {
            return false;
        }
    }
    return true;
}

// Whether the values of the entries that lie inside the data area reach its
// end, or within 3 bytes of it.
bool FillsDataArea(const std::string& mst, std::int64_t start, const LeaderReading& leader,
                   const Reading& reading) {
    std::int64_t furthest = 0;
    for (std::int32_t i = 0; i < leader.nvf; ++i) {
        const EntryReading entry =
            EntryAt(mst, start + leader.size + leader.entrySize * i, reading);
        if (InsideData(entry, leader)) {
            furthest = std::max<std::int64_t>(furthest, std::int64_t{entry.pos} + entry.len);
        }
    }
    return Absolute(leader.mfrl) - leader.base - furthest <= 3;
}

// The smallest leader the format reads.
std::int32_t LeaderSize(LeaderLayout format) {
    return format == LeaderLayout::Ffi ? 22 : format == LeaderLayout::FfiAligned ? 24 : 18;
}

// The leader of `size` bytes at `start` (18 or 20 in the standard format, 22
// or 24 in the FFI ones) as it reads, consistent or not.
LeaderReading LeaderAt(const std::string& mst, std::int64_t start, std::int32_t size,
                       const Reading& reading) {
    const bool wide = size > 20;
    auto number = [&](std::int64_t at) {
        return wide ? Int32At(mst, start + at, reading.order)
                    : Int16At(mst, start + at, reading.order);
    };
    // BASE follows MFRL, the back pointer and any pad bytes; NVF follows it.
    const std::int64_t base = size == 18 ? 12 : size == 24 ? 16 : 14;
    return {size,
            wide ? size - 12 : 6,
            Int32At(mst, start, reading.order),
            number(4),
            number(base),
            Int16At(mst, start + base + (wide ? 4 : 2), reading.order)};
}

LeaderReading ReadLeader(const std::string& mst, std::int64_t start, std::int32_t mfn,
                         const Reading& reading) {
    const auto fileSize = static_cast<std::int64_t>(mst.size());
    if (IsFfi(reading.format)) {
        LeaderReading ffi = LeaderAt(mst, start, LeaderSize(reading.format), reading);
        if (!Fits(ffi)) {
            ffi.size = 0;
        }
        return ffi;
    }
    LeaderReading standard = LeaderAt(mst, start, 18, reading);
    const bool standardFits = Fits(standard);
    const bool pastEnd = start + Absolute(standard.mfrl) > fileSize;
    if (start + 20 <= fileSize) {
        const LeaderReading aligned = LeaderAt(mst, start, 20, reading);
        if (Fits(aligned) && pastEnd && !standardFits) {
            standard.pastEnd = true;
        } else if (Fits(aligned) && !pastEnd && FillsDataArea(mst, start, aligned, reading) &&
                   (!standardFits || (!LooksLikeItsOwn(mst, start, mfn, standard, reading) &&
                                      LooksLikeItsOwn(mst, start, mfn, aligned, reading)))) {
            return aligned;
        }
    } else {
        // Cut inside an aligned leader, before its STATUS.
        const std::int32_t status = Int16At(mst, start + 16, reading.order);
        standard.pastEnd = !standardFits && status >= 0 && standard.nvf == 20 + 6 * status &&
                           Absolute(standard.mfrl) >= standard.nvf;
    }
    if (!standardFits) {
        standard.size = 0;
    }
    return standard;
}

// Whether the record at `start`, read with a leader of `size` bytes, is
// `mfn`'s own: its leader is consistent and names `mfn`, and the record
// either lies inside the file with every entry inside its data area
// (wholly its own) or reaches past the end (cut).
enum class Fit { None, Cut, Whole };
Fit FitOf(const std::string& mst, std::int64_t start, std::int32_t mfn, std::int32_t size,
          const Reading& reading) {
    const auto fileSize = static_cast<std::int64_t>(mst.size());
    if (start + size > fileSize) {
        return Fit::None;
    }
    const LeaderReading leader = LeaderAt(mst, start, size, reading);
    if (leader.mfn != mfn || !Fits(leader)) {
        return Fit::None;
    }
    if (start + Absolute(leader.mfrl) > fileSize) {
        return Fit::Cut;
    }
    return LooksLikeItsOwn(mst, start, mfn, leader, reading) ? Fit::Whole : Fit::None;
}

// How the record at `start` fits `mfn` in the layout: in the standard
// format, the better of its two readings.
Fit RecordFit(const std::string& mst, std::int64_t start, std::int32_t mfn,
              const Reading& reading) {
    if (IsFfi(reading.format)) {
        return FitOf(mst, start, mfn, LeaderSize(reading.format), reading);
    }
    return std::max(FitOf(mst, start, mfn, 18, reading), FitOf(mst, start, mfn, 20, reading));
}

using Result = ExportResult;

// The README's table applied to one stored record of the master file `mst`
// (named `name`) starting at `start`.
Result ExpectedRecord(const std::string& mst, const std::string& name, std::int32_t mfn,
                      std::int64_t start, const Reading& reading) {
    const std::string prefix = "mstexport: " + name + ": MFN " + std::to_string(mfn) + ": ";
    Result expected;
    expected.output = "[RECORD " + std::to_string(mfn) + "]\n";
    const auto size = static_cast<std::int64_t>(mst.size());
    const std::string pastEnd =
        prefix + "the record reaches past the end of the file; exported without fields\n";
    if (start + LeaderSize(reading.format) > size) {
        expected.messages = pastEnd;
        expected.output += "\n\n";
        return expected;
    }
    const LeaderReading leader = ReadLeader(mst, start, mfn, reading);
    const std::int32_t mfrl = leader.mfrl;
    const std::int32_t base = leader.base;
    const std::int32_t nvf = leader.nvf;
    if (leader.pastEnd) {
        expected.messages = pastEnd;
    } else if (leader.size == 0) {
        expected.messages = prefix + "inconsistent " +
                            (reading.format == LeaderLayout::Ffi          ? "FFI "
                             : reading.format == LeaderLayout::FfiAligned ? "aligned FFI "
                                                                          : "") +
                            "leader (MFRL " + std::to_string(mfrl) + ", BASE " +
                            std::to_string(base) + ", NVF " + std::to_string(nvf) +
                            "); exported without fields\n";
    } else if (start + Absolute(mfrl) > size) {
        expected.messages = pastEnd;
    } else {
        const std::int64_t dataLength = Absolute(mfrl) - base;
        for (std::int32_t i = 0; i < nvf; ++i) {
            const EntryReading entry =
                EntryAt(mst, start + leader.size + leader.entrySize * i, reading);
            const std::string tag = std::to_string(entry.tag);
            if (!InsideData(entry, leader)) {
                expected.messages +=
                    prefix + "field with tag " + tag + " lies outside the data area (POS " +
                    std::to_string(entry.pos) + ", LEN " + std::to_string(entry.len) +
                    ", data area " + std::to_string(dataLength) + " bytes); line left out\n";
                continue;
            }
            std::string value = mst.substr(static_cast<std::size_t>(start + base + entry.pos),
                                           static_cast<std::size_t>(entry.len));
            value = value.substr(0, value.find('\0'));
            expected.output += "<" + tag + ">" + value + "</" + tag + ">\n";
        }
    }
    expected.output += "\n\n";
    return expected;
}

// What the model makes of the pointer of `mfn`: where its record starts, or
// -1 for none and, in `message`, what is said of a damaged one.
std::int64_t ModelPointer(const std::string& xrf, std::int32_t mfn, const Reading& reading,
                          std::string& message) {
    const std::int64_t index = mfn - 1;
    const auto pointer = static_cast<std::uint32_t>(
        Int32At(xrf, 512 * (index / 127) + 4 + 4 * (index % 127), reading.order));
    if (pointer == 0 || (pointer & 0x80000000u) != 0) {
        return -1;
    }
    const std::uint32_t block = pointer / (2048u >> reading.shift);
    if (block == 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", pointer);
        message = std::string("its cross-reference pointer ") + hex +
                  " names no master file block; exported without fields";
        return -1;
    }
    return (static_cast<std::int64_t>(block) - 1) * 512 +
           ((pointer & (511u >> reading.shift)) << reading.shift);
}

class DamageSweepTest : public ::testing::TestWithParam<Shape> {
  protected:
    DamageSweepTest()
        : db_(MixedRecords(GetParam())),
          written_{GetParam().order, GetParam().shift, GetParam().format} {
        mst_ = db_.MasterBytes();
        xrf_ = db_.CrossRefBytes();
        mstName_ = NamesIn(dir_.path()).master;
        xrfName_ = NamesIn(dir_.path()).crossRef;
    }

    // The bytes [first, last) of the master file that the record of `mfn`
    // takes: leader, directory and data area.
    std::int64_t RecordEnd(std::int32_t mfn) const {
        const LeaderReading leader = ReadLeader(mst_, db_.RecordStart(mfn), mfn, written_);
        return db_.RecordStart(mfn) + Absolute(leader.mfrl);
    }
    std::int64_t DirectoryEnd(std::int32_t mfn) const {
        const LeaderReading leader = ReadLeader(mst_, db_.RecordStart(mfn), mfn, written_);
        return db_.RecordStart(mfn) + leader.size + leader.entrySize * leader.nvf;
    }

    // The layout the reader decides on: the one the database was written in
    // when any stored record that `xrf` finds in `mst` still fits it, whole
    // or cut by the end of the file, else the published one. (It takes the
    // layout most of the first stored records fit whole, then most fit cut;
    // a damaged byte or a cut file makes records fit none, never another
    // layout.)
    Reading Decided(const std::string& mst, const std::string& xrf) const {
        const std::int64_t findable = FindableMfns(xrf);
        for (std::int32_t mfn = 1; mfn <= db_.LastMfn() && mfn <= findable; ++mfn) {
            if (db_.Stored(mfn) &&
                RecordFit(mst, db_.RecordStart(mfn), mfn, written_) != Fit::None) {
                return written_;
            }
        }
        return {Endianness::Little, 0, LeaderLayout::Standard};
    }

    static std::int64_t FindableMfns(const std::string& xrf) {
        const auto size = static_cast<std::int64_t>(xrf.size());
        const std::int64_t rest = size % 512;
        return 127 * (size / 512) + (rest >= 4 ? (rest - 4) / 4 : 0);
    }

    Result Run(const std::string& mst, const std::string& xrf) const {
        const auto result = ExportInProcess({mst, xrf}, dir_.path());
        if (!result) {
            ADD_FAILURE() << "cannot write the database into " << dir_.path();
            return {};
        }
        return *result;
    }

    // The export of a master file whose bytes from `damageFrom` to
    // `damageTo` may differ from the undamaged one's, with the
    // cross-reference file `xrf`: a record outside that range must be exactly
    // as written, the others as the table says. Read in another layout than
    // written, every record is as the table says.
    Result ExpectedExport(const std::string& mst, const std::string& xrf, std::int64_t damageFrom,
                          std::int64_t damageTo) const {
        const Reading reading = Decided(mst, xrf);
        const bool asWritten = reading.order == written_.order && reading.shift == written_.shift &&
                               reading.format == written_.format;
        Result expected;
        const std::int32_t nextMfn = Int32At(mst, 4, reading.order);
        if (nextMfn <= 0) {
            expected.messages = "mstexport: " + mstName_ + ": the control record gives NXTMFN " +
                                std::to_string(nextMfn) +
                                ", which counts no records; no records exported\n";
            return expected;
        }
        const std::int64_t lastMfn = nextMfn - 1;
        const std::int64_t findable = FindableMfns(xrf);
        for (std::int32_t mfn = 1; mfn <= lastMfn && mfn <= findable; ++mfn) {
            const bool written = mfn <= db_.LastMfn();
            const bool touched = written && db_.Stored(mfn) && db_.RecordStart(mfn) < damageTo &&
                                 damageFrom < RecordEnd(mfn);
            if (asWritten && written && !touched) {
                expected.output += db_.ExpectedRecord(mfn);
                continue;
            }
            std::string message;
            const std::int64_t start = ModelPointer(xrf, mfn, reading, message);
            if (start >= 0) {
                const Result record = ExpectedRecord(mst, mstName_, mfn, start, reading);
                expected.output += record.output;
                expected.messages += record.messages;
            } else {
                expected.output += "[RECORD " + std::to_string(mfn) + "]\n\n\n";
                if (!message.empty()) {
                    expected.messages += "mstexport: " + mstName_ + ": MFN " + std::to_string(mfn) +
                                         ": " + message + "\n";
                }
            }
        }
        if (lastMfn > findable) {
            expected.messages += "mstexport: " + xrfName_ + ": holds pointers for MFN 1 to " +
                                 std::to_string(findable) + " only, but " + mstName_ +
                                 " counts MFN 1 to " + std::to_string(lastMfn) + "; MFN " +
                                 std::to_string(findable + 1) + " onwards not exported\n";
        }
        return expected;
    }

    void ExpectRun(const std::string& mst, const std::string& xrf, Result expected,
                   const std::string& damage) {
        expected.status = expected.messages.empty() ? 0 : 1;
        const Result got = Run(mst, xrf);
        EXPECT_EQ(got.status, expected.status) << damage;
        EXPECT_EQ(got.messages, expected.messages) << damage;
        EXPECT_SAME_TEXT(got.output, expected.output) << damage;
    }

    DatabaseWriter db_;
    Reading written_;
    TempDir dir_;
    std::string mst_;
    std::string xrf_;
    std::string mstName_;
    std::string xrfName_;
};

TEST_P(DamageSweepTest, UndamagedDatabaseIsExact) {
    ExpectRun(mst_, xrf_, ExpectedExport(mst_, xrf_, 0, 0), "no damage");
    // The table's reading of the undamaged records agrees with the writer.
    for (std::int32_t mfn = 1; mfn <= db_.LastMfn(); ++mfn) {
        if (db_.Stored(mfn)) {
            EXPECT_EQ(ExpectedRecord(mst_, mstName_, mfn, db_.RecordStart(mfn), written_).output,
                      db_.ExpectedRecord(mfn));
        }
    }
}

TEST_P(DamageSweepTest, MasterFileTruncatedAtEveryOffset) {
    for (std::size_t length = 0; length < mst_.size(); ++length) {
        const std::string mst = mst_.substr(0, length);
        Result expected;
        if (length < 16) {
            expected.messages = "mstexport: " + mstName_ + ": " + std::to_string(length) +
                                " bytes, too short to hold the 16-byte control record; no "
                                "records exported\n";
        } else {
            expected = ExpectedExport(mst, xrf_, static_cast<std::int64_t>(length),
                                      static_cast<std::int64_t>(mst_.size()));
        }
        ExpectRun(mst, xrf_, expected, "master file cut to " + std::to_string(length));
        if (HasFailure()) {
            return;
        }
    }
}

TEST_P(DamageSweepTest, CrossReferenceFileTruncatedAtEveryOffset) {
    for (std::size_t length = 0; length < xrf_.size(); ++length) {
        const Result expected = ExpectedExport(mst_, xrf_.substr(0, length), 0, 0);
        ExpectRun(mst_, xrf_.substr(0, length), expected,
                  "cross-reference file cut to " + std::to_string(length));
        if (HasFailure()) {
            return;
        }
    }
}

TEST_P(DamageSweepTest, EveryLeaderAndDirectoryByteSetToExtremes) {
    int runs = 0;
    for (std::int32_t mfn = 1; mfn <= db_.LastMfn(); ++mfn) {
        if (!db_.Stored(mfn)) {
            continue;
        }
        for (std::int64_t at = db_.RecordStart(mfn); at < DirectoryEnd(mfn); ++at) {
            for (const unsigned char value : {0x00, 0x7F, 0x80, 0xFF}) {
                std::string mst = mst_;
                mst[static_cast<std::size_t>(at)] = static_cast<char>(value);
                ExpectRun(mst, xrf_, ExpectedExport(mst, xrf_, at, at + 1),
                          "MFN " + std::to_string(mfn) + ": byte " + std::to_string(at) +
                              " set to " + std::to_string(value));
                ++runs;
                if (HasFailure()) {
                    return;
                }
            }
        }
    }
    EXPECT_GT(runs, 4 * 18);
}

// One damaged record among the mixed ones, the first and one deep in a
// database of thousands: every other record's export stays exactly what it
// was, and the damaged one is as the table says.
TEST_P(DamageSweepTest, OneDamagedRecordOfThousandsChangesNoOther) {
    const std::string text = "Soil moisture and plant growth; ^aParis^bUnesco^c1965, illus. ";
    DatabaseWriter db = MixedRecords(GetParam());
    const std::int32_t mixed = db.LastMfn();
    for (int i = 0; i < 2000; ++i) {
        FixtureRecord record;
        for (int f = 0; f < (i % 40 == 0 ? 30 : 2 + i % 5); ++f) {
            record.fields.push_back({static_cast<std::int16_t>(1 + (7 * i + 13 * f) % 999),
                                     text.substr(static_cast<std::size_t>((i + f) % 40),
                                                 static_cast<std::size_t>(1 + (i * f) % 90))});
        }
        db.SetLeaderLayout(GetParam().leaderOf(i));
        db.Add(record);
    }
    const std::string master = db.MasterBytes();
    const std::string xrf = db.CrossRefBytes();
    const Result sound = Run(master, xrf);
    ASSERT_EQ(sound.status, 0) << sound.messages;
    ASSERT_SAME_TEXT(sound.output, db.ExpectedOutput());
    for (const std::int32_t mfn : {1, mixed - 1, mixed, mixed + 1500}) {
        const std::int64_t start = db.RecordStart(mfn);
        const LeaderReading leader = ReadLeader(master, start, mfn, written_);
        const std::size_t from = sound.output.find("[RECORD " + std::to_string(mfn) + "]\n");
        const std::size_t to = sound.output.find("[RECORD " + std::to_string(mfn + 1) + "]\n");
        for (std::int64_t at = start; at < start + leader.size + leader.entrySize; ++at) {
            std::string mst = master;
            mst[static_cast<std::size_t>(at)] = '\xFF';
            Result expected = ExpectedRecord(mst, mstName_, mfn, start, written_);
            expected.output =
                sound.output.substr(0, from) + expected.output + sound.output.substr(to);
            ExpectRun(mst, xrf, expected,
                      "MFN " + std::to_string(mfn) + ": byte " + std::to_string(at - start) +
                          " set to 0xFF");
            if (HasFailure()) {
                return;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, DamageSweepTest, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
