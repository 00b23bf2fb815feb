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

// Whether the `length` bytes at `bytes` hold a byte for which a cell is
// quoted: ',', '"', CR or LF.
bool NeedsQuotes(const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; i += fast::kBlock) {
        const std::uint32_t special =
            fast::CsvSpecialBytes(bytes + i) & ~fast::HighBytes(bytes + i);
        if (fast::OnlyFirst(special, length - i) != 0) {
            return true;
        }
    }
    return false;
}

// Copies the bytes at the start of `bytes` that a cell takes as they are,
// ASCII that needs no quotes, 16 at a time, up to the first that it does not;
// returns how many those are: `length` when all are, as for most values.
std::size_t CopyPlain(char* out, const unsigned char* bytes, std::size_t length) {
    return fast::CopyWhilePlain(out, bytes, length, [](const unsigned char* block) {
        return fast::CsvSpecialBytes(block);
    });
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
        : bom_(options.Given("csv-bom") != nullptr), used_(kTagSlots, 0) {
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
            used_[SlotOf(field.tag)] = 1;
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
        // The fields by column, each column's in directory order: column and
        // place in one key, sorted in room kept from record to record.
        if (order_.size() < record.fields.size()) {
            order_.resize(record.fields.size());
        }
        std::uint64_t* key = order_.data();
        std::size_t most = kMostRowMarkup + columns_.size() + fast::kOverrun;
        for (std::size_t i = 0; i < record.fields.size(); ++i) {
            const FieldValue& field = record.fields[i];
            const std::uint32_t column = columnOf_[SlotOf(field.tag)];
            if (column == kNoColumn) {
                context.Report({ProblemKind::CsvTagWithoutColumn, record.mfn, field.tag});
                continue;
            }
            *key++ = std::uint64_t{column} << 32 | i;
            // The value, its cell's quotes, and a separator in quotes, which
            // is at least as long as one without.
            most += CellText::Most(field.length) + 2 + inQuotes_.size();
        }
        keys_ = static_cast<std::size_t>(key - order_.data());
        Sort(order_.data(), keys_);
        // Nearly every row is written in one piece; a larger one cell by
        // cell, and a value that lies in the file a piece at a time.
        if (record.valueReader == nullptr && most <= fast::kRecordRoom) {
            context.output.Extend(WriteRow(context, record, context.output.Room(most)));
        } else {
            AppendRow(context, record);
        }
    }

  private:
    // The mfn, CR LF.
    static constexpr std::size_t kMostRowMarkup = 10 + 2;

    static void Sort(std::uint64_t* keys, std::size_t count) {
        if (count > 32) {
            std::sort(keys, keys + count);
            return;
        }
        // A record's few fields: sorted in place, at little cost when they
        // are in order already.
        for (std::size_t i = 1; i < count; ++i) {
            const std::uint64_t key = keys[i];
            std::size_t j = i;
            for (; j > 0 && keys[j - 1] > key; --j) {
                keys[j] = keys[j - 1];
            }
            keys[j] = key;
        }
    }

    // The cells of the row, in order: `cell(column, at, end)` for each
    // column that has fields, order_[at] to order_[end - 1];
    // `commas(count)` before each cell and for the empty cells.
    template <typename Cell, typename Commas>
    void ForEachCell(Cell&& cell, Commas&& commas) const {
        std::size_t next = 0;  // the column after the last cell written
        for (std::size_t at = 0; at < keys_;) {
            const std::uint64_t column = order_[at] >> 32;
            std::size_t end = at + 1;
            while (end < keys_ && order_[end] >> 32 == column) {
                ++end;
            }
            commas(static_cast<std::size_t>(column) - next + 1);
            cell(at, end);
            next = static_cast<std::size_t>(column) + 1;
            at = end;
        }
        commas(columns_.size() - next);
    }

    // Writes the row of `record`, which holds its values in memory, at `out`,
    // which has room for all of it; returns its end.
    char* WriteRow(FormatContext& context, const RecordFields& record, char* out) {
        const std::string_view mfn = context.mfnDigits.Of(record.mfn);
        std::memcpy(out, mfn.data(), mfn.size());
        out += mfn.size();
        ForEachCell(
            [&](std::size_t at, std::size_t end) {
                const FieldValue& field = FieldOf(record, at);
                if (end - at > 1 || CopyPlain(out, field.bytes, field.length) < field.length) {
                    out = WriteCellAt(context, record, at, end, out);
                } else {
                    out += field.length;
                }
            },
            [&](std::size_t count) { out = fast::Fill(out, ',', count); });
        std::memcpy(out, "\r\n", 2);
        return out + 2;
    }

    // Appends the row of `record` to the output a cell at a time.
    void AppendRow(FormatContext& context, const RecordFields& record) {
        OutputFile& output = context.output;
        const std::string_view mfn = context.mfnDigits.Of(record.mfn);
        output.Append(mfn.data(), mfn.size());
        ForEachCell(
            [&](std::size_t at, std::size_t end) { AppendCell(context, record, at, end); },
            [&](std::size_t count) {
                while (count > 0) {
                    const std::size_t chunk = std::min<std::size_t>(count, 4096);
                    output.Extend(fast::Fill(output.Room(chunk + fast::kOverrun), ',', chunk));
                    count -= chunk;
                }
            });
        output.Append("\r\n", 2);
    }

    const FieldValue& FieldOf(const RecordFields& record, std::size_t at) const {
        return record.fields[static_cast<std::uint32_t>(order_[at])];
    }

    // Whether the cell of order_[at] to order_[end - 1] is quoted.
    bool Quoted(const RecordFields& record, std::size_t at, std::size_t end) const {
        if (end - at > 1 && separatorQuoted_) {
            return true;
        }
        for (std::size_t i = at; i < end; ++i) {
            const FieldValue& field = FieldOf(record, i);
            if (field.bytes != nullptr) {
                if (NeedsQuotes(field.bytes, field.length)) {
                    return true;
                }
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
            if (holds || !read) {
                return true;
            }
        }
        return false;
    }

    // Writes the cell of order_[at] to order_[end - 1], whose values the
    // record holds in memory, at `out`; returns its end.
    char* WriteCellAt(FormatContext& context, const RecordFields& record, std::size_t at,
                      std::size_t end, char* out) {
        const bool quoted = Quoted(record, at, end);
        if (quoted) {
            *out++ = '"';
        }
        for (std::size_t i = at; i < end; ++i) {
            if (i > at) {
                const std::string& separator = quoted ? inQuotes_ : separator_;
                std::memcpy(out, separator.data(), separator.size());
                out += separator.size();
            }
            const FieldValue& field = FieldOf(record, i);
            Mended mended;
            out = CellText::Write(context, field.bytes, field.length, quoted, out, mended);
            Report(context, record.mfn, field.tag, mended);
        }
        if (quoted) {
            *out++ = '"';
        }
        return out;
    }

    // Appends the cell of order_[at] to order_[end - 1] to the output, a
    // value, or a piece of one, at a time.
    void AppendCell(FormatContext& context, const RecordFields& record, std::size_t at,
                    std::size_t end) {
        OutputFile& output = context.output;
        const bool quoted = Quoted(record, at, end);
        if (quoted) {
            output.Append("\"", 1);
        }
        for (std::size_t i = at; i < end; ++i) {
            if (i > at) {
                const std::string& separator = quoted ? inQuotes_ : separator_;
                output.Append(separator.data(), separator.size());
            }
            const FieldValue& field = FieldOf(record, i);
            Mended mended;
            const bool whole =
                ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
                    char* out = output.Room(CellText::Most(length));
                    output.Extend(CellText::Write(context, bytes, length, quoted, out, mended));
                });
            Report(context, record.mfn, field.tag, mended);
            if (!whole) {
                ReportUnreadValue(context, record.mfn, field.tag, ProblemKind::ValueCutShort);
            }
        }
        if (quoted) {
            output.Append("\"", 1);
        }
    }

    static void Report(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                       const Mended& mended) {
        if (mended.undefined.badBytes > 0) {
            ReportBadBytes(context, mfn, tag, *context.charset, mended.undefined);
        }
        if (mended.notUtf8.badBytes > 0) {
            ReportNotUtf8(context, mfn, tag, mended.notUtf8);
        }
    }

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
            if (used_[SlotOf(tag)] != 0) {
                add(tag);
            }
        }
    }

    bool bom_;
    std::string separator_;
    // The separator inside a quoted cell, its quotes doubled.
    std::string inQuotes_;
    // Whether the separator, written between two values, quotes their cell.
    bool separatorQuoted_ = false;
    // The tags the records use, by slot.
    std::vector<unsigned char> used_;
    // Each column's tag, and each slot's column.
    std::vector<std::int32_t> columns_;
    std::vector<std::uint32_t> columnOf_;
    // The keys of the record's fields, column and place, and how many.
    std::vector<std::uint64_t> order_;
    std::size_t keys_ = 0;
};

}  // namespace

const Format& CsvFormat() {
    static const Format format{
        "csv",
        {{"repeat-separator", "TEXT", "csv: joins a repeated tag's values (default |)", {}},
         {"csv-bom", nullptr, "csv: begin with a UTF-8 byte-order mark (Excel)", {}}},
        true,
        [](const FormatOptions& options) {
            return std::unique_ptr<FormatWriter>(new CsvWriter(options));
        },
        true};
    return format;
}
