#include "DatabaseWriter.hpp"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

void PutBytes(std::string& out, std::uint32_t raw, int count, Endianness order) {
    for (int i = 0; i < count; ++i) {
        const int shift = order == Endianness::Little ? 8 * i : 8 * (count - 1 - i);
        out += static_cast<char>((raw >> shift) & 0xFF);
    }
}

void Put16(std::string& out, std::int32_t value, Endianness order = Endianness::Little) {
    PutBytes(out, static_cast<std::uint16_t>(value), 2, order);
}

void Put32(std::string& out, std::int64_t value, Endianness order = Endianness::Little) {
    PutBytes(out, static_cast<std::uint32_t>(value), 4, order);
}

void Patch32(std::string& out, std::size_t at, std::int64_t value, Endianness order) {
    std::string bytes;
    Put32(bytes, value, order);
    out.replace(at, 4, bytes);
}

bool IsFfi(LeaderLayout layout) {
    return layout == LeaderLayout::Ffi || layout == LeaderLayout::FfiAligned;
}

// Two bytes of text for a pad, different from pad to pad.
std::string Pad(std::int32_t seed) {
    return {static_cast<char>('a' + seed % 26), static_cast<char>('A' + (seed / 26) % 26)};
}

}  // namespace

std::string RawRecord(std::int32_t mfrl, std::int32_t base, std::int32_t nvf,
                      const std::vector<RawEntry>& entries, const std::string& data,
                      std::int32_t mfn, std::int16_t status, LeaderLayout layout, BackPointer back,
                      Endianness order) {
    const bool ffi = IsFfi(layout);
    const bool ffiAligned = layout == LeaderLayout::FfiAligned;
    auto putLength = [&](std::string& out, std::int32_t value) {
        ffi ? Put32(out, value, order) : Put16(out, value, order);
    };
    std::string out;
    Put32(out, mfn, order);
    putLength(out, mfrl);
    if (layout == LeaderLayout::Aligned) {
        Put16(out, 0, order);  // pad
    }
    Put32(out, back.block, order);
    Put16(out, back.offset, order);
    if (ffiAligned) {
        out += Pad(mfn + 7);
    }
    putLength(out, base);
    Put16(out, nvf, order);
    Put16(out, status, order);
    std::int32_t index = 0;
    for (const RawEntry& entry : entries) {
        Put16(out, entry.tag, order);
        if (ffiAligned) {
            out += Pad(mfn + index++);
        }
        putLength(out, entry.pos);
        putLength(out, entry.len);
    }
    return out + data;
}

std::string DatabaseWriter::EncodeRecord(const FixtureRecord& record, std::int32_t mfn,
                                         LeaderLayout layout, BackPointer back, Endianness order) {
    const auto nvf = static_cast<std::int32_t>(record.fields.size());
    const std::int32_t leaderSize = layout == LeaderLayout::Standard  ? 18
                                    : layout == LeaderLayout::Aligned ? 20
                                    : layout == LeaderLayout::Ffi     ? 22
                                                                      : 24;
    const std::int32_t entrySize = layout == LeaderLayout::Ffi          ? 10
                                   : layout == LeaderLayout::FfiAligned ? 12
                                                                        : 6;
    const std::int32_t base = leaderSize + entrySize * nvf;
    std::string data;
    std::vector<RawEntry> entries;
    for (const Field& field : record.fields) {
        entries.push_back({field.tag, static_cast<std::int32_t>(data.size()),
                           static_cast<std::int32_t>(field.value.size())});
        data += field.value;
    }
    const auto mfrl = static_cast<std::int64_t>(base) + static_cast<std::int64_t>(data.size());
    if (mfrl > (IsFfi(layout) ? 0x7FFFFFFF : 32767)) {
        throw std::length_error("the record is too long for its layout");
    }
    const auto stored = static_cast<std::int32_t>(record.locked ? -mfrl : mfrl);
    return RawRecord(stored, base, nvf, entries, data, mfn, record.status, layout, back, order);
}

std::int64_t DatabaseWriter::Append(const std::string& bytes) {
    // A shifted pointer keeps no offset bits below 2^shift.
    const std::size_t alignment = std::size_t{1} << (shift_ < 9 ? shift_ : 9);
    master_.resize((master_.size() + alignment - 1) / alignment * alignment, '\0');
    const auto start = static_cast<std::int64_t>(master_.size());
    (void)PointerTo(start, shift_);  // refuses a record that no pointer can locate
    master_ += bytes;
    return start;
}

std::int64_t DatabaseWriter::PointerLimit(int shift) {
    // The block number, counted from 1, fills the bits from 11 - shift up to
    // bit 30.
    return ((std::int64_t{1} << (20 + shift)) - 1) * 512;
}

std::uint32_t DatabaseWriter::PointerTo(std::int64_t position, int shift) {
    if (position >= PointerLimit(shift)) {
        throw std::length_error("a record at byte " + std::to_string(position) +
                                " of the master file is past what pointers shifted by " +
                                std::to_string(shift) + " can locate (" +
                                std::to_string(PointerLimit(shift)) +
                                " bytes); write it with a larger pointer shift");
    }
    const auto block = static_cast<std::uint32_t>(position / 512 + 1);
    const auto offset = static_cast<std::uint32_t>(position % 512);
    return (block << (11 - shift)) | (offset >> shift);
}

std::int32_t DatabaseWriter::Add(const FixtureRecord& record) {
    const auto mfn = static_cast<std::int32_t>(records_.size() + 1);
    records_.push_back({record, Append(EncodeRecord(record, mfn, layout_, {}, order_)), false});
    return mfn;
}

void DatabaseWriter::Update(std::int32_t mfn, const FixtureRecord& record) {
    Slot& slot = records_.at(static_cast<std::size_t>(mfn - 1));
    BackPointer back;
    if (slot.start >= 0) {
        back = {static_cast<std::int32_t>(slot.start / 512 + 1),
                static_cast<std::int32_t>(slot.start % 512)};
    }
    slot.record = record;
    slot.start = Append(EncodeRecord(record, mfn, layout_, back, order_));
}

void DatabaseWriter::Delete(std::int32_t mfn) {
    records_.at(static_cast<std::size_t>(mfn - 1)).deleted = true;
}

std::int32_t DatabaseWriter::AddUnwritten() {
    records_.push_back({});
    return static_cast<std::int32_t>(records_.size());
}

std::int32_t DatabaseWriter::AddRaw(const std::string& recordBytes) {
    records_.push_back({{}, Append(recordBytes), false});
    return static_cast<std::int32_t>(records_.size());
}

std::int32_t DatabaseWriter::AddPointer(std::uint32_t pointer) {
    Slot slot;
    slot.rawPointer = true;
    slot.pointer = pointer;
    records_.push_back(slot);
    return static_cast<std::int32_t>(records_.size());
}

std::int64_t DatabaseWriter::RecordStart(std::int32_t mfn) const {
    return records_.at(static_cast<std::size_t>(mfn - 1)).start;
}

std::string DatabaseWriter::MasterBytes() const {
    std::string out = master_;
    const std::int32_t nextMfn = hasOverride_ ? nextMfnOverride_ : LastMfn() + 1;
    Patch32(out, 0, 0, order_);  // CTLMFN
    Patch32(out, 4, nextMfn, order_);
    Patch32(out, 8, static_cast<std::int64_t>(out.size()) / 512 + 1, order_);  // NXTMFB
    std::string tail;
    Put16(tail, static_cast<std::int32_t>(out.size() % 512), order_);  // NXTMFP
    Put16(tail, shift_ << 8, order_);                                  // MFTYPE
    out.replace(12, 4, tail);
    return out;
}

std::string DatabaseWriter::CrossRefBytes() const {
    const std::size_t blocks = records_.size() / 127 + 1;
    std::string out;
    for (std::size_t block = 0; block < blocks; ++block) {
        const auto number = static_cast<std::int64_t>(block + 1);
        Put32(out, block + 1 == blocks ? -number : number, order_);  // XRFPOS
        for (std::size_t slot = 0; slot < 127; ++slot) {
            const std::size_t index = block * 127 + slot;
            std::uint32_t pointer = 0;
            if (index < records_.size() && records_[index].rawPointer) {
                pointer = records_[index].pointer;
            } else if (index < records_.size() && records_[index].start >= 0) {
                pointer = PointerTo(records_[index].start, shift_) | pointerFlags_;
                if (records_[index].deleted) {
                    pointer = 0u - pointer;
                }
            }
            Put32(out, pointer, order_);
        }
    }
    return out;
}

void DatabaseWriter::WriteTo(const std::filesystem::path& directory) const {
    WriteFile(directory / "ths.mst", MasterBytes());
    WriteFile(directory / "ths.xrf", CrossRefBytes());
}

std::string DatabaseWriter::ExpectedOutput() const {
    std::string out;
    for (std::int32_t mfn = 1; mfn <= LastMfn(); ++mfn) {
        out += ExpectedRecord(mfn);
    }
    return out;
}

std::string DatabaseWriter::ExpectedRecord(std::int32_t mfn) const {
    std::string out = "[RECORD " + std::to_string(mfn) + "]\n";
    if (Stored(mfn)) {
        for (const Field& field : records_.at(static_cast<std::size_t>(mfn - 1)).record.fields) {
            const std::string tag = std::to_string(field.tag);
            out += "<" + tag + ">" + field.value.substr(0, field.value.find('\0')) + "</" + tag +
                   ">\n";
        }
    }
    return out + "\n\n";
}

std::vector<Field> DatabaseWriter::ExpectedFields(std::int32_t mfn) const {
    std::vector<Field> fields;
    if (Stored(mfn)) {
        for (const Field& field : records_.at(static_cast<std::size_t>(mfn - 1)).record.fields) {
            fields.push_back({field.tag, field.value.substr(0, field.value.find('\0'))});
        }
    }
    return fields;
}

std::string DatabaseWriter::ExpectedIso2709(char fieldEnd, char recordEnd,
                                            const std::string& lineEnd) const {
    std::string out;
    for (std::int32_t mfn = 1; mfn <= LastMfn(); ++mfn) {
        const std::vector<Field> fields = ExpectedFields(mfn);
        if (fields.empty()) {
            continue;
        }
        std::string directory;
        std::string values;
        for (const Field& field : fields) {
            char entry[16];
            std::snprintf(entry, sizeof entry, "%03d%04zu%05zu", field.tag, field.value.size() + 1,
                          values.size());
            directory += entry;
            values += field.value + fieldEnd;
        }
        const std::size_t base = 24 + directory.size() + 1;
        char leader[32];
        std::snprintf(leader, sizeof leader, "%05zu0000000%05zu0004500", base + values.size() + 1,
                      base);
        const std::string record = leader + directory + fieldEnd + values + recordEnd;
        for (std::size_t at = 0; at < record.size(); at += 80) {
            out += record.substr(at, 80) + lineEnd;
        }
    }
    return out;
}

bool DatabaseWriter::Stored(std::int32_t mfn) const {
    const Slot& slot = records_.at(static_cast<std::size_t>(mfn - 1));
    return slot.start >= 0 && !slot.deleted;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> FilesIn(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] =
            entry.is_regular_file() ? ReadFile(entry.path()) : "(not a file)";
    }
    return files;
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}
