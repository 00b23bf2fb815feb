// Writes CDS/ISIS databases (a master file and its cross-reference file) for
// tests, examples and benchmarks, and knows what their export must be.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct Field {
    std::int16_t tag;
    std::string value;
};

inline bool operator==(const Field& a, const Field& b) {
    return a.tag == b.tag && a.value == b.value;
}

struct FixtureRecord {
    std::vector<Field> fields;
    std::int16_t status = 0;
    // Locked for editing: stored with MFRL negated.
    bool locked = false;
};

// How a record's leader and directory are stored: the usual 18-byte leader;
// 20 bytes with two pad bytes after MFRL, as some 32-bit writers store it;
// or as the FFI writers store them, with 32-bit lengths and positions, in a
// 22-byte leader and 10-byte entries, or, aligned, in a 24-byte leader with
// two pad bytes after MFBWP and 12-byte entries with two after TAG. Pad
// bytes are written with text in them, as real files have.
enum class LeaderLayout { Standard, Aligned, Ffi, FfiAligned };

// The byte order of every integer in both files.
enum class Endianness { Little, Big };

// A directory entry as stored, for records built byte by byte.
struct RawEntry {
    std::int32_t tag;
    std::int32_t pos;
    std::int32_t len;
};

// Where a record's earlier version lies (MFBWB, MFBWP); 0 and 0 for none.
struct BackPointer {
    std::int32_t block = 0;
    std::int32_t offset = 0;
};

// The bytes of a record whose leader and directory say whatever they are
// given, consistent or not; the data area follows the directory.
std::string RawRecord(std::int32_t mfrl, std::int32_t base, std::int32_t nvf,
                      const std::vector<RawEntry>& entries, const std::string& data,
                      std::int32_t mfn = 1, std::int16_t status = 0,
                      LeaderLayout layout = LeaderLayout::Standard, BackPointer back = {},
                      Endianness order = Endianness::Little);

class DatabaseWriter {
  public:
    // Writes the record at the end of the master file under the next MFN.
    std::int32_t Add(const FixtureRecord& record);
    // Writes a new version of `mfn` at the end of the master file and points
    // the cross-reference file at it; the old version stays where it was, and
    // the new one's back pointer names it.
    void Update(std::int32_t mfn, const FixtureRecord& record);
    // Marks `mfn` deleted, as the format does: its pointer is negated.
    void Delete(std::int32_t mfn);
    // Takes the next MFN without writing a record: its pointer is 0.
    std::int32_t AddUnwritten();
    // Appends arbitrary record bytes under the next MFN.
    std::int32_t AddRaw(const std::string& recordBytes);
    // Takes the next MFN with `pointer` as its cross-reference pointer,
    // whatever it locates.
    std::int32_t AddPointer(std::uint32_t pointer);
    // Bits ORed into every stored pointer (bits 9 and 10 carry no position).
    void SetPointerFlags(std::uint32_t flags) { pointerFlags_ = flags; }
    // The leader layout of the records written from now on.
    void SetLeaderLayout(LeaderLayout layout) { layout_ = layout; }
    // The byte order of both files; set before the first record is written.
    void SetByteOrder(Endianness order) { order_ = order; }
    // Stores pointers shifted by `shift` (0 to 11), and says so in MFTYPE's
    // high byte; records then start at multiples of 2^shift bytes, up to 512,
    // and the master file may grow larger (see PointerLimit). Set before the
    // first record is written.
    void SetPointerShift(int shift) { shift_ = shift; }
    // Overrides the control record's NXTMFN, which is otherwise one more
    // than the last MFN.
    void SetNextMfn(std::int32_t nextMfn) {
        nextMfnOverride_ = nextMfn;
        hasOverride_ = true;
    }

    std::int32_t LastMfn() const { return static_cast<std::int32_t>(records_.size()); }
    // Where the current version of `mfn` starts in the master file.
    std::int64_t RecordStart(std::int32_t mfn) const;

    std::string MasterBytes() const;
    std::string CrossRefBytes() const;
    // Writes ths.mst and ths.xrf into `directory`.
    void WriteTo(const std::filesystem::path& directory) const;

    // What a correct export of this database writes: each record's fields in
    // order, each value up to its first zero byte.
    std::string ExpectedOutput() const;
    // The part of ExpectedOutput() that `mfn` writes, header included.
    std::string ExpectedRecord(std::int32_t mfn) const;
    // What an ISO 2709 export writes: each stored record that has fields, as
    // leader, directory and values with `fieldEnd` after each value and
    // `recordEnd` after the record, cut into lines of 80 bytes each ended by
    // `lineEnd` ("" for none).
    std::string ExpectedIso2709(char fieldEnd = '\x1E', char recordEnd = '\x1D',
                                const std::string& lineEnd = "\r\n") const;
    // The fields of `mfn` as the export reads them: values up to their first
    // zero byte; none unless Stored(mfn).
    std::vector<Field> ExpectedFields(std::int32_t mfn) const;
    // Whether the cross-reference file points at a record for `mfn`: it was
    // written and not deleted.
    bool Stored(std::int32_t mfn) const;

    // The pointer the cross-reference file stores for a record that starts
    // at `position` of the master file, with pointers shifted by `shift`.
    // Throws std::length_error when such a pointer cannot hold the position:
    // from PointerLimit(shift) on, its block number would reach bit 31, the
    // mark of a deleted record.
    static std::uint32_t PointerTo(std::int64_t position, int shift);
    // The first position that pointers shifted by `shift` cannot hold: 512 MiB
    // less a block without a shift, 4 GiB less one with the FFI builds' 3.
    static std::int64_t PointerLimit(int shift);

    // The bytes of one record: leader, directory, data area.
    static std::string EncodeRecord(const FixtureRecord& record, std::int32_t mfn,
                                    LeaderLayout layout = LeaderLayout::Standard,
                                    BackPointer back = {}, Endianness order = Endianness::Little);

  private:
    struct Slot {
        FixtureRecord record;
        std::int64_t start = -1;  // -1: never written
        bool deleted = false;
        bool rawPointer = false;  // `pointer` is stored as it is
        std::uint32_t pointer = 0;
    };
    std::int64_t Append(const std::string& bytes);

    std::string master_ = std::string(64, '\0');  // the control record's block
    std::vector<Slot> records_;
    std::uint32_t pointerFlags_ = 0;
    LeaderLayout layout_ = LeaderLayout::Standard;
    Endianness order_ = Endianness::Little;
    int shift_ = 0;
    std::int32_t nextMfnOverride_ = 0;
    bool hasOverride_ = false;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
// The entries of `folder`, with the bytes of those that read as files.
std::map<std::string, std::string> FilesIn(const std::filesystem::path& folder);
// The lines of `text`, each without its line feed; a last line without one
// counts too.
std::vector<std::string> TextLines(const std::string& text);
