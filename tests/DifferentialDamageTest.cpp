// One record of a database of thousands, damaged in one way after another:
// every other record's export stays exactly what it was, byte for byte, and
// every message is about the damaged record. The records have the shapes of
// a bibliographic database, and among them are 18-byte records of 20 fields
// with STATUS 0 and of 26 with STATUS 1, whose leaders also read as 20-byte
// ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    int Between(int low, int high) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return low + static_cast<int>(state_ % static_cast<std::uint64_t>(high - low + 1));
    }

  private:
    std::uint64_t state_;
};

const char* const kWords[] = {"soil",   "water",  "plant", "growth", "Paris",  "Unesco",
                              "1965",   "illus.", "bibl.", "^a",     "^b",     "climate",
                              "survey", "of",     "the",   "report", "methods"};

FixtureRecord RandomRecord(Random& random) {
    FixtureRecord record;
    const int draw = random.Between(0, 99);
    const int fields = draw < 80 ? random.Between(3, 6) : random.Between(7, 40);
    for (int f = 0; f < fields; ++f) {
        const int length =
            random.Between(0, 9) == 0 ? random.Between(33, 400) : random.Between(1, 32);
        std::string value;
        while (static_cast<int>(value.size()) < length) {
            value += kWords[random.Between(0, sizeof kWords / sizeof kWords[0] - 1)];
            value += ' ';
        }
        value.resize(static_cast<std::size_t>(length));
        record.fields.push_back({static_cast<std::int16_t>(random.Between(1, 999)), value});
    }
    return record;
}

FixtureRecord FieldsAndStatus(int count, std::int16_t status) {
    FixtureRecord record;
    record.status = status;
    for (int f = 0; f < count; ++f) {
        record.fields.push_back({static_cast<std::int16_t>(10 + f), "value " + std::to_string(f)});
    }
    return record;
}

struct Layout {
    const char* name;
    LeaderLayout format;  // Standard: each record's leader as `alternate` says
    bool alternate;       // odd MFNs 18-byte, even ones 20-byte
};
void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

const Layout kLayouts[] = {
    {"Standard", LeaderLayout::Standard, false},
    {"AlternatingLeaders", LeaderLayout::Standard, true},
    {"Ffi", LeaderLayout::Ffi, false},
    {"FfiAligned", LeaderLayout::FfiAligned, false},
};

constexpr std::int32_t kRecords = 2500;
// The records damaged: the first, which the layout is told from; 18-byte
// records of 20 fields with STATUS 0 and of 26 with STATUS 1; an ordinary one.
constexpr std::int32_t kTwenty = 701;
constexpr std::int32_t kTwentySix = 1401;
const std::int32_t kDamaged[] = {1, kTwenty, kTwentySix, 2100};

// Where a record's numbers lie in its leader and directory entries.
struct Offsets {
    int mfrl, base, nvf, leaderSize, entrySize, pos, len, width;
};

Offsets OffsetsOf(LeaderLayout leader) {
    switch (leader) {
        case LeaderLayout::Standard:
            return {4, 12, 14, 18, 6, 2, 4, 2};
        case LeaderLayout::Aligned:
            return {4, 14, 16, 20, 6, 2, 4, 2};
        case LeaderLayout::Ffi:
            return {4, 14, 18, 22, 10, 2, 6, 4};
        case LeaderLayout::FfiAligned:
            break;
    }
    return {4, 16, 20, 24, 12, 4, 8, 4};
}

// Adds `delta` to the little-endian number of `width` bytes at `at`.
void Add(std::string& bytes, std::size_t at, int width, std::int64_t delta) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    value += static_cast<std::uint64_t>(delta);
    for (int i = 0; i < width; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

struct Damage {
    const char* what;
    // Damages the record at `start` of `master`, whose leader is `leader`.
    void (*apply)(std::string& master, std::size_t start, const Offsets& leader);
};

const Damage kDamages[] = {
    {"BASE off by two",
     [](std::string& m, std::size_t s, const Offsets& o) { Add(m, s + o.base, o.width, 2); }},
    {"NVF one more",
     [](std::string& m, std::size_t s, const Offsets& o) { Add(m, s + o.nvf, 2, 1); }},
    {"MFRL one less",
     [](std::string& m, std::size_t s, const Offsets& o) { Add(m, s + o.mfrl, o.width, -1); }},
    {"the second entry's LEN past the data area",
     [](std::string& m, std::size_t s, const Offsets& o) {
         Add(m, s + o.leaderSize + o.entrySize + o.len, o.width, 30000);
     }},
    {"the first entry's POS negative",
     [](std::string& m, std::size_t s, const Offsets& o) {
         Add(m, s + o.leaderSize + o.pos, o.width, -100000);
     }},
    {"the leader all 0xFF",
     [](std::string& m, std::size_t s, const Offsets& o) {
         m.replace(s, static_cast<std::size_t>(o.leaderSize),
                   std::string(static_cast<std::size_t>(o.leaderSize), '\xFF'));
     }},
};

// The text of each record's block in a tagged export, "[RECORD n]" to the
// next header.
std::vector<std::string> Blocks(const std::string& output) {
    std::vector<std::string> blocks;
    std::size_t at = 0;
    for (std::int32_t mfn = 1; at < output.size(); ++mfn) {
        const std::size_t next =
            output.find("\n\n\n[RECORD " + std::to_string(mfn + 1) + "]\n", at);
        const std::size_t end = next == std::string::npos ? output.size() : next + 3;
        blocks.push_back(output.substr(at, end - at));
        at = end;
    }
    return blocks;
}

class DifferentialDamageTest : public ::testing::TestWithParam<Layout> {};

TEST_P(DifferentialDamageTest, OtherRecordsAreUnchanged) {
    const Layout& layout = GetParam();
    auto leaderOf = [&layout](std::int32_t mfn) {
        if (layout.alternate) {
            return mfn % 2 == 1 ? LeaderLayout::Standard : LeaderLayout::Aligned;
        }
        return layout.format;
    };
    DatabaseWriter db;
    Random random(2024);
    for (std::int32_t mfn = 1; mfn <= kRecords; ++mfn) {
        db.SetLeaderLayout(leaderOf(mfn));
        db.Add(mfn == kTwenty      ? FieldsAndStatus(20, 0)
               : mfn == kTwentySix ? FieldsAndStatus(26, 1)
                                   : RandomRecord(random));
    }
    const std::string master = db.MasterBytes();
    const std::string crossRef = db.CrossRefBytes();
    TempDir dir;
    const auto sound = ExportInProcess({master, crossRef}, dir.path());
    ASSERT_TRUE(sound.has_value());
    ASSERT_EQ(sound->status, 0) << sound->messages;
    ASSERT_SAME_TEXT(sound->output, db.ExpectedOutput());
    const std::vector<std::string> soundBlocks = Blocks(sound->output);
    ASSERT_EQ(soundBlocks.size(), static_cast<std::size_t>(kRecords));

    for (const std::int32_t damaged : kDamaged) {
        for (const Damage& damage : kDamages) {
            std::string bytes = master;
            damage.apply(bytes, static_cast<std::size_t>(db.RecordStart(damaged)),
                         OffsetsOf(leaderOf(damaged)));
            const auto run = ExportInProcess({bytes, crossRef}, dir.path());
            ASSERT_TRUE(run.has_value());
            const std::string which = "MFN " + std::to_string(damaged) + ", " + damage.what;
            EXPECT_EQ(run->status, 1) << which;
            const std::string about = ": MFN " + std::to_string(damaged) + ": ";
            for (std::size_t at = 0; at < run->messages.size();) {
                const std::size_t end = run->messages.find('\n', at);
                const std::string line = run->messages.substr(at, end - at);
                EXPECT_NE(line.find(about), std::string::npos) << which << ": " << line;
                at = end + 1;
            }
            const std::vector<std::string> blocks = Blocks(run->output);
            ASSERT_EQ(blocks.size(), soundBlocks.size()) << which;
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                if (static_cast<std::int32_t>(i) + 1 != damaged) {
                    ASSERT_EQ(blocks[i], soundBlocks[i]) << which << ": MFN " << i + 1;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DifferentialDamageTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
