// Writes a large database for the benchmark, and beside it the export that
// the database must give, computed by the writer without the reader.
//
// Shapes are those of a bibliographic database: most records have 5 or 6
// fields of 20 to 32 bytes, a few have up to 40 fields, a few values run to
// 400 bytes, about 330 bytes a record in all.
// Tags are spread over 1 to 999, the cross-reference file has many blocks,
// and some records are updated after the last one was written, so that their
// current versions are stored out of MFN order. The same count always gives
// the same database. A master file that would pass what its pointers can
// locate (512 MiB without a shift) gets shifted pointers, as the FFI builds
// write them.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

#include "DatabaseWriter.hpp"

namespace {

// A small generator of our own, so that every platform writes the same bytes.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    // Uniform in [low, high].
    int Between(int low, int high) {
        return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }
    // Mostly `common`, sometimes `fewer`, rarely `rare`: each a range [low, high].
    int Skewed(int commonLow, int commonHigh, int fewerHigh, int rareHigh) {
        const int draw = Between(0, 99);
        if (draw < 80) {
            return Between(commonLow, commonHigh);
        }
        if (draw < 97) {
            return Between(commonHigh + 1, fewerHigh);
        }
        return Between(fewerHigh + 1, rareHigh);
    }

  private:
    std::uint64_t state_;
};

const char* const kWords[] = {
    "soil",      "water",    "plant",       "growth",  "moisture", "climate", "survey",
    "analysis",  "report",   "proceedings", "journal", "methods",  "of",      "the",
    "and",       "in",       "for",         "on",      "Paris",    "Unesco",  "London",
    "1965",      "1978",     "1984",        "illus.",  "bibl.",    "vol.",    "pp.",
    "Magalhaes", "Franco",   "Slatyer",     "R.O.",    "A.C.",     "C.M.",    "irrigation",
    "semi-arid", "tropical", "evaporation", "yield",   "nitrogen", "crop",    "rainfall",
};
constexpr int kWordCount = static_cast<int>(sizeof kWords / sizeof kWords[0]);

std::string Value(Random& random) {
    const auto length = static_cast<std::size_t>(random.Skewed(20, 32, 120, 400));
    std::string value;
    value.reserve(length + 16);
    if (random.Between(0, 3) == 0) {
        value += "^a";
    }
    while (value.size() < length) {
        if (!value.empty() && value.back() != 'a') {
            value += random.Between(0, 9) == 0 ? "^b" : " ";
        }
        value += kWords[random.Between(0, kWordCount - 1)];
    }
    value.resize(length);
    return value;
}

FixtureRecord Record(Random& random) {
    FixtureRecord record;
    const int fields = random.Skewed(5, 6, 15, 40);
    for (int i = 0; i < fields; ++i) {
        // Some tags are in nearly every record, the others anywhere in 1 to 999.
        const int tag = random.Between(0, 2) == 0
                            ? random.Between(1, 999)
                            : 10 * random.Between(1, 9) + random.Between(0, 9);
        record.fields.push_back({static_cast<std::int16_t>(tag), Value(random)});
    }
    return record;
}

// The layout and pointer shift of `variant`; false for an unknown one.
bool VariantLayout(const std::string& variant, LeaderLayout& layout, int& shift,
                   Endianness& order) {
    layout = LeaderLayout::Standard;
    shift = 0;
    order = Endianness::Little;
    if (variant == "ffi" || variant == "ffi-aligned") {
        layout = variant == "ffi" ? LeaderLayout::Ffi : LeaderLayout::FfiAligned;
        shift = 3;
    } else if (variant == "big-endian") {
        order = Endianness::Big;
    } else if (variant != "standard") {
        return false;
    }
    return true;
}

// Writes the records of a database of `records` into `sink`, which has
// Add, Update and Delete as DatabaseWriter does.
template <typename Sink>
void Generate(long records, Sink& sink) {
    Random random(0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(records));
    for (long i = 0; i < records; ++i) {
        sink.Add(Record(random));
    }
    // One record in 1000 gets a new version at the end of the master file.
    for (long mfn = 7; mfn <= records; mfn += 1000) {
        sink.Update(static_cast<std::int32_t>(mfn), Record(random));
    }
    // A few are deleted.
    for (long mfn = 501; mfn <= records; mfn += 5000) {
        sink.Delete(static_cast<std::int32_t>(mfn));
    }
}

// Counts the bytes a master file of the generated records takes, without
// keeping them.
class MasterFileSize {
  public:
    explicit MasterFileSize(LeaderLayout layout) : layout_(layout) {}
    void Add(const FixtureRecord& record) { Count(record); }
    void Update(std::int32_t, const FixtureRecord& record) { Count(record); }
    void Delete(std::int32_t) {}

    // At the most, with pointers shifted by `shift`: each record may start
    // up to 2^shift - 1 bytes after the one before ends.
    std::int64_t Bytes(int shift) const {
        const std::int64_t alignment = std::int64_t{1} << (shift < 9 ? shift : 9);
        return 64 + bytes_ + records_ * (alignment - 1);
    }

  private:
    void Count(const FixtureRecord& record) {
        bytes_ +=
            static_cast<std::int64_t>(DatabaseWriter::EncodeRecord(record, 1, layout_).size());
        ++records_;
    }
    LeaderLayout layout_;
    std::int64_t bytes_ = 0;
    std::int64_t records_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    LeaderLayout layout;
    int shift;
    Endianness order;
    if (argc < 3 || argc > 4 ||
        !VariantLayout(argc == 4 ? argv[3] : "standard", layout, shift, order)) {
        std::cerr << "usage: generate_bench_database DIRECTORY RECORDS [VARIANT]\n"
                     "writes ths.mst, ths.xrf and expected.txt, the export they must give;\n"
                     "VARIANT is standard (the default), ffi, ffi-aligned or big-endian\n";
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    const long records = std::strtol(argv[2], nullptr, 10);
    if (records < 1 || records > 10000000) {
        std::cerr << "generate_bench_database: RECORDS must be 1 to 10000000\n";
        return 2;
    }

    // The variant's own shift, or the smallest from the FFI builds' 3 on
    // whose pointers locate every record of the master file.
    MasterFileSize size(layout);
    Generate(records, size);
    const int variantShift = shift;
    while (shift < 9 && size.Bytes(shift) >= DatabaseWriter::PointerLimit(shift)) {
        shift = shift < 3 ? 3 : shift + 1;
    }
    if (shift != variantShift) {
        std::cout << "the master file passes " << DatabaseWriter::PointerLimit(variantShift)
                  << " bytes: its pointers are shifted by " << shift << "\n";
    }

    DatabaseWriter db;
    db.SetLeaderLayout(layout);
    db.SetByteOrder(order);
    db.SetPointerShift(shift);
    try {
        Generate(records, db);
    } catch (const std::length_error& error) {
        std::cerr << "generate_bench_database: " << error.what() << "\n";
        return 1;
    }
    std::filesystem::create_directories(directory);
    db.WriteTo(directory);
    WriteFile(directory / "expected.txt", db.ExpectedOutput());
    std::cout << "wrote " << records << " records to " << (directory / "ths.mst").string() << " ("
              << std::filesystem::file_size(directory / "ths.mst") << " bytes)\n";
    return 0;
}
