// CSV for spreadsheets, as RFC 4180 has it: a header row, then a row per
// stored record in MFN order; cells separated by commas, rows ended by CR
// LF, a cell quoted with '"' when it holds a comma, a quote, CR or LF, with
// its quotes doubled. The first column is the MFN, then one per tag: with a
// field definition table, its tags in its order, then the other tags the
// records use, in ascending order; without one, the tags the records use.
// The occurrences of a repeated tag share their cell, joined by
// --repeat-separator. Cells are UTF-8 as in JSON Lines.
//
// Which tags the records use is found in a pass over them before the export
// (Survey), which looks at their tags only.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FastWriting.hpp"
#include "Format.hpp"
#include "ValueText.hpp"

namespace {

// Tags are 16-bit numbers in every source; each has a slot in the tables of
// columns, by its 16 bits.
constexpr std::size_t kTagSlots = 65536;
constexpr std::uint32_t kNoColumn = 0xFFFFFFFF;

std::size_t SlotOf(std::int32_t tag) {
    return static_cast<std::uint16_t>(tag);
}

// What a cell's bytes were written with U+FFFD for: bytes the code page does
// not define, or, without a code page, bytes that are not UTF-8.
struct Mended {
    ConversionProblem undefined;
    ConversionProblem notUtf8;
};

// Whether the `length` bytes at `bytes` hold a byte for which a cell is quoted.
bool NeedsQuotes(const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; i += fast::kBlock) {
        if (fast::OnlyFirst(fast::CsvQuotedBytes(bytes + i), length - i) != 0) {
            return true;
        }
    }
    return false;
}

// Writes the `length` bytes at `bytes` at `out` with each '"' doubled;
// returns their end.
char* WriteDoublingQuotes(char* out, const char* bytes, std::size_t length) {
    for (;;) {
        const void* found = std::memchr(bytes, '"', length);
        if (found == nullptr) {
            std::memcpy(out, bytes, length);
            return out + length;
        }
        const auto count = static_cast<std::size_t>(static_cast<const char*>(found) - bytes) + 1;
        std::memcpy(out, bytes, count);
        out += count;
        *out++ = '"';
        bytes += count;
        length -= count;
    }
}

// The `length` stored bytes at `bytes` as a cell's text: UTF-8, quotes
// doubled when `quoted`.
class CellText {
  public:
    // The most bytes Write writes for `length` stored bytes: 3 for a byte of
    // UTF-8 or 2 for a doubled quote, and a block that copies may run past.
    static std::size_t Most(std::size_t length) {
        return Charset::kMostUtf8PerByte * length + fast::kOverrun;
    }

    // Writes them at `out`, which has room for Most(length); what is
    // written as U+FFFD is counted in `mended`. `bytes` is followed by
    // readable slack.
    static char* Write(FormatContext& context, const unsigned char* bytes, std::size_t length,
                       bool quoted, char* out, Mended& mended) {
        if (!fast::IsAscii(bytes, length)) {
            // Converted, or checked as UTF-8, into scratch room with slack.
            const Charset& charset =
                context.charset != nullptr ? *context.charset : Charset::Utf8();
            ConversionProblem& problem =
                context.charset != nullptr ? mended.undefined : mended.notUtf8;
            context.scratch.Clear();
            char* start = context.scratch.Room(Most(length));
            const char* end = charset.ToUtf8(bytes, length, start, problem);
            bytes = reinterpret_cast<const unsigned char*>(start);
            length = static_cast<std::size_t>(end - start);
        }
        if (quoted) {
            return WriteDoublingQuotes(out, reinterpret_cast<const char*>(bytes), length);
        }
        return fast::CopyValue(out, bytes, length);
    }
};

// A header cell's text, or the separator, as written in a cell: quoted, or
// not, as it needs.
std::string CellOf(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    if (std::none_of(bytes, bytes + text.size(), [](unsigned char byte) {
            return byte == ',' || byte == '"' || byte == '\r' || byte == '\n';
        })) {
        return text;
    }
    std::string quoted(2 * text.size() + 2, '\0');
    char* out = &quoted[0];
    *out++ = '"';
    out = WriteDoublingQuotes(out, text.data(), text.size());
    *out++ = '"';
    quoted.resize(static_cast<std::size_t>(out - quoted.data()));
    return quoted;
}

class CsvWriter final : public FormatWriter {
  public:
    explicit CsvWriter(const FormatOptions& options)
        : bom_(options.Given("csv-bom") != nullptr), used_(kTagSlots, false) {
        const std::string* separator = options.Given("repeat-separator");
        separator_ = separator != nullptr ? *separator : "|";
        const auto* bytes = reinterpret_cast<const unsigned char*>(separator_.data());
        separatorQuoted_ = std::any_of(bytes, bytes + separator_.size(), [](unsigned char byte) {
            return byte == ',' || byte == '"' || byte == '\r' || byte == '\n';
        });
        inQuotes_ = CellOf(separator_);
        if (separatorQuoted_) {
            // Without its own quotes: it is written inside a quoted cell.
            inQuotes_ = inQuotes_.substr(1, inQuotes_.size() - 2);
        }
    }

    void Survey(const RecordFields& record) override {
        for (const FieldValue& field : record.fields) {
            used_[SlotOf(field.tag)] = true;
        }
    }

    void Begin(FormatContext& context) override {
        ChooseColumns(context.names);
        std::string header = bom_ ? "\xEF\xBB\xBF"
                                    "mfn"
                                  : "mfn";
        for (const std::int32_t tag : columns_) {
            const std::string* name =
                context.names != nullptr ? context.names->NameOf(tag) : nullptr;
            const std::string number = std::to_string(tag);
            header += "," + CellOf(name != nullptr ? *name + " (" + number + ")" : number);
        }
        header += "\r\n";
        context.output.Append(header.data(), header.size());
    }

    void Append(const RecordFields& record, FormatContext& context) override {
        if (record.state == RecordFields::State::NotStored) {
            return;
        }
        OutputFile& output = context.output;
        const std::string_view mfn = context.mfnDigits.Of(record.mfn);
        output.Append(mfn.data(), mfn.size());
        // The fields by column, each column's in directory order: column
        // and place in one key, sorted in room kept from record to record.
        order_.clear();
        for (std::size_t i = 0; i < record.fields.size(); ++i) {
            const std::uint32_t column = columnOf_[SlotOf(record.fields[i].tag)];
            if (column == kNoColumn) {
                context.Report(
                    {ProblemKind::CsvTagWithoutColumn, record.mfn, record.fields[i].tag});
                continue;
            }
            order_.push_back(std::uint64_t{column} << 32 | i);
        }
        std::sort(order_.begin(), order_.end());
        std::size_t next = 0;  // the column after the last cell written
        for (std::size_t at = 0; at < order_.size();) {
            const auto column = static_cast<std::size_t>(order_[at] >> 32);
            std::size_t end = at + 1;
            while (end < order_.size() && order_[end] >> 32 == order_[at] >> 32) {
                ++end;
            }
            Commas(output, column - next + 1);
            WriteCell(context, record, at, end);
            next = column + 1;
            at = end;
        }
        Commas(output, columns_.size() - next);
        output.Append("\r\n", 2);
    }

  private:
    void ChooseColumns(const FieldNames* names) {
        columnOf_.assign(kTagSlots, kNoColumn);
        const auto add = [&](std::int32_t tag) {
            std::uint32_t& column = columnOf_[SlotOf(tag)];
            if (column == kNoColumn) {
                column = static_cast<std::uint32_t>(columns_.size());
                columns_.push_back(tag);
            }
        };
        if (names != nullptr) {
            for (const FieldDefinition& field : names->Fields()) {
                add(field.tag);
            }
        }
        for (std::int32_t tag = -32768; tag <= 32767; ++tag) {
            if (used_[SlotOf(tag)]) {
                add(tag);
            }
        }
    }

    static void Commas(OutputFile& output, std::size_t count) {
        while (count > 0) {
            const std::size_t chunk = std::min<std::size_t>(count, 4096);
            char* out = output.Room(chunk);
            std::memset(out, ',', chunk);
            output.Extend(out + chunk);
            count -= chunk;
        }
    }

    // Writes the cell of the fields that order_[at] to order_[end - 1] name.
    void WriteCell(FormatContext& context, const RecordFields& record, std::size_t at,
                   std::size_t end) {
        OutputFile& output = context.output;
        bool quoted = end - at > 1 && separatorQuoted_;
        for (std::size_t i = at; i < end && !quoted; ++i) {
            const FieldValue& field = record.fields[static_cast<std::uint32_t>(order_[i])];
            if (field.bytes != nullptr) {
                quoted = NeedsQuotes(field.bytes, field.length);
                continue;
            }
            // A value that lies in the file is read twice: once to look,
            // once to write. One that cannot be read is quoted, as any cell
            // may be.
            bool holds = false;
            const bool read =
                ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
                    holds = holds || NeedsQuotes(bytes, length);
                });
            quoted = holds || !read;
        }
        if (quoted) {
            output.Append("\"", 1);
        }
        for (std::size_t i = at; i < end; ++i) {
            if (i > at) {
                const std::string& separator = quoted ? inQuotes_ : separator_;
                output.Append(separator.data(), separator.size());
            }
            const FieldValue& field = record.fields[static_cast<std::uint32_t>(order_[i])];
            WriteValue(context, record, field, quoted);
        }
        if (quoted) {
            output.Append("\"", 1);
        }
    }

    static void WriteValue(FormatContext& context, const RecordFields& record,
                           const FieldValue& field, bool quoted) {
        OutputFile& output = context.output;
        Mended mended;
        bool whole = true;
        if (field.bytes != nullptr) {
            char* out = output.Room(CellText::Most(field.length));
            output.Extend(CellText::Write(context, field.bytes, field.length, quoted, out, mended));
        } else {
            whole =
                ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
                    char* out = output.Room(CellText::Most(length));
                    output.Extend(CellText::Write(context, bytes, length, quoted, out, mended));
                });
        }
        if (mended.undefined.badBytes > 0) {
            ReportBadBytes(context, record.mfn, field.tag, *context.charset, mended.undefined);
        }
        if (mended.notUtf8.badBytes > 0) {
            ReportNotUtf8(context, record.mfn, field.tag, mended.notUtf8);
        }
        if (!whole) {
            ReportUnreadValue(context, record.mfn, field.tag, ProblemKind::ValueCutShort);
        }
    }

    bool bom_;
    std::string separator_;
    // The separator inside a quoted cell, its quotes doubled.
    std::string inQuotes_;
    // Whether the separator, written between two values, quotes their cell.
    bool separatorQuoted_ = false;
    // The tags the records use, by slot.
    std::vector<bool> used_;
    // Each column's tag, and each slot's column.
    std::vector<std::int32_t> columns_;
    std::vector<std::uint32_t> columnOf_;
    std::vector<std::uint64_t> order_;
};

}  // namespace

const Format& CsvFormat() {
    static const Format format{
        "csv",
        {{"repeat-separator",
          "TEXT",
          "csv: what joins the values of a repeated tag in its cell (default '|')",
          {}},
         {"csv-bom",
          nullptr,
          "csv: start with a UTF-8 byte-order mark, which Excel needs to read UTF-8",
          {}}},
        true,
        [](const FormatOptions& options) {
            return std::unique_ptr<FormatWriter>(new CsvWriter(options));
        },
        true};
    return format;
}
