// Damage swept over a small database, byte by byte: every truncation of
// either file and every leader and directory byte set to 0x00, 0x7F, 0x80 and
// 0xFF. The export runs in-process, so the sanitizer build checks every run.
// Each run must give the status, messages and output that the README's table
// gives for the damaged bytes, with every undamaged record exact.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
#include "TempDir.hpp"

namespace {

// Records of every kind; `layoutOf(i)` gives the leader layout of the i-th
// record written.
DatabaseWriter MixedRecords(const std::function<LeaderLayout(int)>& layoutOf) {
    DatabaseWriter db;
    int written = 0;
    auto next = [&]() -> DatabaseWriter& {
        db.SetLeaderLayout(layoutOf(written++));
        return db;
    };
    next().Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}, {70, "Franco, C.M."}}});
    next().Add({});
    next().Add({{{-5, "negative"}, {32767, std::string("zero\0byte", 9)}}});
    db.Delete(next().Add({{{2, "deleted"}}}));
    db.AddUnwritten();
    next().Add({{{3, "old version"}}});
    next().Update(6, {{{3, "new"}, {4, "a\nb"}}});
    next().Add({{{9, "last"}}});
    return db;
}

DatabaseWriter StandardLeaders() {
    return MixedRecords([](int) { return LeaderLayout::Standard; });
}
DatabaseWriter AlignedLeaders() {
    return MixedRecords([](int) { return LeaderLayout::Aligned; });
}
DatabaseWriter AlternatingLeaders() {
    return MixedRecords(
        [](int i) { return i % 2 == 0 ? LeaderLayout::Aligned : LeaderLayout::Standard; });
}

// The databases swept; another shape is one more line here.
struct Shape {
    const char* name;
    std::function<DatabaseWriter()> make;
};
void PrintTo(const Shape& shape, std::ostream* out) {
    *out << shape.name;
}

const Shape kShapes[] = {
    {"StandardLeaders", StandardLeaders},
    {"AlignedLeaders", AlignedLeaders},
    {"AlternatingLeaders", AlternatingLeaders},
};

std::int32_t Int16At(const std::string& bytes, std::int64_t at) {
    const auto low = static_cast<unsigned char>(bytes[static_cast<std::size_t>(at)]);
    const auto high = static_cast<unsigned char>(bytes[static_cast<std::size_t>(at) + 1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
}

// A record's leader as the README's layout rule reads it: the 18-byte
// reading when only it is consistent, the 20-byte one when only it is and the
// record ends inside the file; when both are, the one that names the MFN and
// keeps its directory inside the data area, else the 18-byte one. `size` is 0
// when neither fits; the other fields then hold the 18-byte reading.
struct LeaderReading {
    std::int32_t size;
    std::int32_t mfn;
    std::int32_t mfrl;
    std::int32_t base;
    std::int32_t nvf;
};

bool Fits(const LeaderReading& leader) {
    return leader.nvf >= 0 && leader.base == leader.size + 6 * leader.nvf &&
           leader.mfrl >= leader.base;
}

std::int32_t Int32At(const std::string& bytes, std::int64_t at) {
    std::uint32_t value = 0;
    for (std::int64_t i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(at + i)]);
    }
    return static_cast<std::int32_t>(value);
}

bool LooksLikeItsOwn(const std::string& mst, std::int64_t start, std::int32_t mfn,
                     const LeaderReading& leader) {
    if (leader.mfn != mfn || start + leader.mfrl > static_cast<std::int64_t>(mst.size())) {
        return false;
    }
    for (std::int32_t i = 0; i < leader.nvf; ++i) {
        const std::int64_t entry = start + leader.size + 6 * i;
        const std::int32_t pos = Int16At(mst, entry + 2);
        const std::int32_t len = Int16At(mst, entry + 4);
        if (pos < 0 || len < 0 || pos + len > leader.mfrl - leader.base) {
            return false;
        }
    }
    return true;
}

LeaderReading ReadLeader(const std::string& mst, std::int64_t start, std::int32_t mfn) {
    const auto fileSize = static_cast<std::int64_t>(mst.size());
    const std::int32_t storedMfn = Int32At(mst, start);
    LeaderReading standard{18, storedMfn, Int16At(mst, start + 4), Int16At(mst, start + 12),
                           Int16At(mst, start + 14)};
    const bool standardFits = Fits(standard);
    if (start + 20 <= fileSize) {
        const LeaderReading aligned{20, storedMfn, Int16At(mst, start + 4),
                                    Int16At(mst, start + 14), Int16At(mst, start + 16)};
        if (Fits(aligned) && start + aligned.mfrl <= fileSize &&
            (!standardFits || (!LooksLikeItsOwn(mst, start, mfn, standard) &&
                               LooksLikeItsOwn(mst, start, mfn, aligned)))) {
            return aligned;
        }
    }
    if (!standardFits) {
        standard.size = 0;
    }
    return standard;
}

using Result = ExportResult;

// The README's table applied to one stored record of the master file `mst`
// (named `name`) starting at `start`.
Result ExpectedRecord(const std::string& mst, const std::string& name, std::int32_t mfn,
                      std::int64_t start) {
    const std::string prefix = "mstexport: " + name + ": MFN " + std::to_string(mfn) + ": ";
    Result expected;
    expected.output = "[RECORD " + std::to_string(mfn) + "]\n";
    const auto size = static_cast<std::int64_t>(mst.size());
    const std::string pastEnd =
        prefix + "the record reaches past the end of the file; exported without fields\n";
    if (start + 18 > size) {
        expected.messages = pastEnd;
        expected.output += "\n\n";
        return expected;
    }
    const LeaderReading leader = ReadLeader(mst, start, mfn);
    const std::int32_t mfrl = leader.mfrl;
    const std::int32_t base = leader.base;
    const std::int32_t nvf = leader.nvf;
    if (leader.size == 0) {
        expected.messages = prefix + "inconsistent leader (MFRL " + std::to_string(mfrl) +
                            ", BASE " + std::to_string(base) + ", NVF " + std::to_string(nvf) +
                            "); exported without fields\n";
    } else if (start + mfrl > size) {
        expected.messages = pastEnd;
    } else {
        const std::int32_t dataLength = mfrl - base;
        for (std::int32_t i = 0; i < nvf; ++i) {
            const std::int64_t entry = start + leader.size + 6 * i;
            const std::int32_t tag = Int16At(mst, entry);
            const std::int32_t pos = Int16At(mst, entry + 2);
            const std::int32_t len = Int16At(mst, entry + 4);
            if (pos < 0 || len < 0 || pos + len > dataLength) {
                expected.messages += prefix + "field with tag " + std::to_string(tag) +
                                     " lies outside the data area (POS " + std::to_string(pos) +
                                     ", LEN " + std::to_string(len) + ", data area " +
                                     std::to_string(dataLength) + " bytes); line left out\n";
                continue;
            }
            std::string value = mst.substr(static_cast<std::size_t>(start + base + pos),
                                           static_cast<std::size_t>(len));
            value = value.substr(0, value.find('\0'));
            expected.output +=
                "<" + std::to_string(tag) + ">" + value + "</" + std::to_string(tag) + ">\n";
        }
    }
    expected.output += "\n\n";
    return expected;
}

class DamageSweepTest : public ::testing::TestWithParam<Shape> {
  protected:
    DamageSweepTest() : db_(GetParam().make()) {
        mst_ = db_.MasterBytes();
        xrf_ = db_.CrossRefBytes();
        mstName_ = NamesIn(dir_.path()).master;
        xrfName_ = NamesIn(dir_.path()).crossRef;
    }

    // The bytes [first, last) of the master file that the record of `mfn`
    // takes: leader, directory and data area.
    std::int64_t RecordEnd(std::int32_t mfn) const {
        return db_.RecordStart(mfn) + Int16At(mst_, db_.RecordStart(mfn) + 4);
    }
    std::int64_t DirectoryEnd(std::int32_t mfn) const {
        const LeaderReading leader = ReadLeader(mst_, db_.RecordStart(mfn), mfn);
        return db_.RecordStart(mfn) + leader.size + 6 * leader.nvf;
    }

    Result Run(const std::string& mst, const std::string& xrf) const {
        const auto result = ExportInProcess({mst, xrf}, dir_.path());
        if (!result) {
            ADD_FAILURE() << "cannot write the database into " << dir_.path();
            return {};
        }
        return *result;
    }

    // Records 1 to `count` of a master file whose bytes from `damageFrom` to
    // `damageTo` may differ from the undamaged one's: a record outside that
    // range must be exactly as written, the others as the table says.
    Result ExpectedRecords(const std::string& mst, std::int32_t count, std::int64_t damageFrom,
                           std::int64_t damageTo) const {
        Result expected;
        for (std::int32_t mfn = 1; mfn <= count; ++mfn) {
            const bool touched =
                db_.Stored(mfn) && db_.RecordStart(mfn) < damageTo && damageFrom < RecordEnd(mfn);
            if (touched) {
                const Result record = ExpectedRecord(mst, mstName_, mfn, db_.RecordStart(mfn));
                expected.output += record.output;
                expected.messages += record.messages;
            } else {
                expected.output += db_.ExpectedRecord(mfn);
            }
        }
        return expected;
    }

    void ExpectRun(const std::string& mst, const std::string& xrf, Result expected,
                   const std::string& damage) {
        expected.status = expected.messages.empty() ? 0 : 1;
        const Result got = Run(mst, xrf);
        EXPECT_EQ(got.status, expected.status) << damage;
        EXPECT_EQ(got.messages, expected.messages) << damage;
        EXPECT_EQ(got.output, expected.output) << damage;
    }

    DatabaseWriter db_;
    TempDir dir_;
    std::string mst_;
    std::string xrf_;
    std::string mstName_;
    std::string xrfName_;
};

TEST_P(DamageSweepTest, UndamagedDatabaseIsExact) {
    ExpectRun(mst_, xrf_, ExpectedRecords(mst_, db_.LastMfn(), 0, 0), "no damage");
    // The table's reading of the undamaged records agrees with the writer.
    for (std::int32_t mfn = 1; mfn <= db_.LastMfn(); ++mfn) {
        if (db_.Stored(mfn)) {
            EXPECT_EQ(ExpectedRecord(mst_, mstName_, mfn, db_.RecordStart(mfn)).output,
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
            expected = ExpectedRecords(mst, db_.LastMfn(), static_cast<std::int64_t>(length),
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
        const auto size = static_cast<std::int64_t>(length);
        const std::int64_t rest = size % 512;
        const std::int64_t findable = 127 * (size / 512) + (rest >= 4 ? (rest - 4) / 4 : 0);
        const std::int32_t last = db_.LastMfn();
        Result expected;
        for (std::int32_t mfn = 1; mfn <= last && mfn <= findable; ++mfn) {
            expected.output += db_.ExpectedRecord(mfn);
        }
        if (findable < last) {
            expected.messages = "mstexport: " + xrfName_ + ": holds pointers for MFN 1 to " +
                                std::to_string(findable) + " only, but " + mstName_ +
                                " counts MFN 1 to " + std::to_string(last) + "; MFN " +
                                std::to_string(findable + 1) + " onwards not exported\n";
        }
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
                ExpectRun(mst, xrf_, ExpectedRecords(mst, db_.LastMfn(), at, at + 1),
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

INSTANTIATE_TEST_SUITE_P(Shapes, DamageSweepTest, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
