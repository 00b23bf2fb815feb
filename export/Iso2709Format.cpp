// ISO 2709, as the CDS/ISIS programs write their exports: a 24-byte leader,
// a 12-byte directory entry per field, the values, each ended by the field
// terminator, then the record terminator; the record's bytes cut into lines
// of 80. All lengths count the bytes written.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FastWriting.hpp"
#include "Format.hpp"
#include "ValueText.hpp"

namespace {

constexpr std::size_t kLeaderSize = 24;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kLineLength = 80;
constexpr std::int32_t kLargestTag = 999;
// Four digits hold a field's length with its terminator; five, a record's.
constexpr std::size_t kLongestValue = 9998;
constexpr std::size_t kLongestRecord = 99999;

// How the records are written: --iso-delimiters and --iso-line-end.
struct IsoOptions {
    // 0x1E after each field and 0x1D after each record, as the Windows
    // program writes them, or '#' for both, as the DOS and Unix tools do.
    enum class Terminators { Control, Hash };
    // The record's bytes are cut into lines of 80, each ended so.
    enum class LineEnd { CrLf, Lf, None };
    Terminators terminators = Terminators::Control;
    LineEnd lineEnd = LineEnd::CrLf;
};

using fast::PutDigits;

// Appends the record's bytes cut into lines of 80, each with its line end.
void AppendLines(OutputFile& output, const char* bytes, std::size_t size,
                 IsoOptions::LineEnd lineEnd) {
    if (lineEnd == IsoOptions::LineEnd::None) {
        output.Append(bytes, size);
        return;
    }
    const bool crlf = lineEnd == IsoOptions::LineEnd::CrLf;
    const std::size_t endLength = crlf ? 2 : 1;
    const std::size_t lines = (size + kLineLength - 1) / kLineLength;
    char* out = output.Room(size + lines * endLength + kLineLength);
    for (std::size_t at = 0; at < size; at += kLineLength) {
        // Whole lines are copied, the last one too: the room has a line to spare.
        std::memcpy(out, bytes + at, kLineLength);
        out += std::min(kLineLength, size - at);
        if (crlf) {
            *out++ = '\r';
        }
        *out++ = '\n';
    }
    output.Extend(out);
}

// Says that `tag`'s value holds `byte`, one of the terminators the export
// writes: it is written as stored, which the directory's lengths keep right,
// but a reader that splits on terminators cuts the record there.
void ReportTerminator(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                      unsigned char byte) {
    RecordProblem problem{ProblemKind::IsoTerminatorInValue, mfn, tag};
    problem.byte = byte;
    context.Report(problem);
}

// The first of the two terminators among `length` bytes at `bytes`, or 0.
unsigned char FirstTerminator(const void* bytes, std::size_t length, char fieldEnd,
                              char recordEnd) {
    const void* found = std::memchr(bytes, fieldEnd, length);
    if (found == nullptr) {
        found = std::memchr(bytes, recordEnd, length);
    }
    return found != nullptr ? *static_cast<const unsigned char*>(found) : 0;
}

class Iso2709Writer final : public FormatWriter {
  public:
    explicit Iso2709Writer(const FormatOptions& given) {
        const std::string* delimiters = given.Given("iso-delimiters");
        if (delimiters != nullptr && *delimiters == "hash") {
            options_.terminators = IsoOptions::Terminators::Hash;
        }
        if (const std::string* lineEnd = given.Given("iso-line-end")) {
            options_.lineEnd = *lineEnd == "lf"     ? IsoOptions::LineEnd::Lf
                               : *lineEnd == "none" ? IsoOptions::LineEnd::None
                                                    : IsoOptions::LineEnd::CrLf;
        }
    }

    // An ISO 2709 record per stored record with fields; ISO 2709 has no
    // place for the MFN.
    void Append(const RecordFields& record, FormatContext& context) override {
        if (record.state != RecordFields::State::Stored || record.fields.empty()) {
            return;
        }
        if (record.valueReader == nullptr) {
            AppendRecord<false>(record, context);
        } else {
            AppendRecord<true>(record, context);
        }
    }

  private:
    // The record's values are held in memory, or all lie in the file and are
    // read a piece at a time.
    template <bool valuesInFile>
    void AppendRecord(const RecordFields& record, FormatContext& context);

    IsoOptions options_;
    // The length each field's value takes, or 0 for a field left out.
    std::vector<std::size_t> lengths_;
};

template <bool valuesInFile>
void Iso2709Writer::AppendRecord(const RecordFields& record, FormatContext& context) {
    std::vector<std::size_t>& lengths = lengths_;
    lengths.resize(record.fields.size());
    std::size_t kept = 0;
    std::size_t valueBytes = 0;
    std::size_t room = 0;  // what converting the values may ask for
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        const FieldValue& field = record.fields[i];
        if (field.tag < 0 || field.tag > kLargestTag) {
            lengths[i] = 0;
            context.Report({ProblemKind::IsoTagOutOfRange, record.mfn, field.tag});
            continue;
        }
        std::size_t length = field.length;
        if constexpr (valuesInFile) {
            if (context.charset != nullptr) {
                const std::optional<std::size_t> converted =
                    ValueBytesInPieces(context, record, field);
                if (!converted) {
                    lengths[i] = 0;
                    ReportUnreadValue(context, record.mfn, field.tag,
                                      ProblemKind::UnreadValueLeftOut);
                    continue;
                }
                length = *converted;
            }
        } else {
            length = ValueBytes(context, field);
        }
        if (length > kLongestValue) {
            lengths[i] = 0;
            RecordProblem problem{ProblemKind::IsoValueTooLong, record.mfn, field.tag};
            problem.count = length;
            context.Report(problem);
            continue;
        }
        lengths[i] = length + 1;  // and its terminator
        valueBytes += length + 1;
        room += MostValueBytes(context, field.length) + 1;
        ++kept;
    }
    if (kept == 0) {
        context.Report({ProblemKind::IsoNothingLeft, record.mfn});
        return;
    }
    const std::size_t base = kLeaderSize + kEntrySize * kept + 1;
    const std::size_t size = base + valueBytes + 1;
    if (size > kLongestRecord) {
        RecordProblem problem{ProblemKind::IsoRecordTooLong, record.mfn};
        problem.count = size;
        context.Report(problem);
        return;
    }

    const bool hash = options_.terminators == IsoOptions::Terminators::Hash;
    const char fieldEnd = hash ? '#' : '\x1E';
    const char recordEnd = hash ? '#' : '\x1D';
    context.scratch.Clear();
    // A line to spare: the last line is copied whole.
    char* const start = context.scratch.Room(base + room + 1 + kLineLength);
    char* out = PutDigits<5>(start, size);
    std::memcpy(out, "0000000", 7);
    out = PutDigits<5>(out + 7, base);
    std::memcpy(out, "0004500", 7);
    out += 7;
    // Each kept field's directory entry and value in one pass.
    char* entry = out;
    start[base - 1] = fieldEnd;
    char* value = start + base;
    // Code pages turn only bytes of 0x80 and above into other bytes, so the
    // stored bytes tell whether a value holds a terminator.
    fast::ByteWatch terminators(static_cast<unsigned char>(fieldEnd),
                                static_cast<unsigned char>(recordEnd));
    std::int32_t terminatorTag = 0;
    unsigned char terminator = 0;
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        if (lengths[i] != 0) {
            const FieldValue& field = record.fields[i];
            entry = PutDigits<3>(entry, static_cast<std::size_t>(field.tag));
            entry = PutDigits<4>(entry, lengths[i]);
            entry = PutDigits<5>(entry, static_cast<std::size_t>(value - (start + base)));
            if constexpr (valuesInFile) {
                char* const written = value;
                value = WriteValueInPieces(context, record, field, value);
                if (value == nullptr) {
                    ReportUnreadValue(context, record.mfn, field.tag,
                                      ProblemKind::UnreadValueRecordLeftOut);
                    return;
                }
                // The terminators are ASCII, kept as they are by every conversion.
                if (terminator == 0) {
                    terminator = FirstTerminator(written, static_cast<std::size_t>(value - written),
                                                 fieldEnd, recordEnd);
                    terminatorTag = field.tag;
                }
            } else if (context.charset == nullptr || fast::IsAscii(field.bytes, field.length)) {
                // ASCII is itself in every encoding, as in WriteValue.
                value = terminators.Copy(value, field.bytes, field.length);
            } else {
                value = WriteValue(context, record.mfn, field, value);
                terminators.Add(field.bytes, field.length);
            }
            *value++ = fieldEnd;
        }
    }
    *value = recordEnd;
    if constexpr (!valuesInFile) {
        for (std::size_t i = 0;
             terminator == 0 && terminators.MayHold() && i < record.fields.size(); ++i) {
            if (lengths[i] != 0) {
                terminator = FirstTerminator(record.fields[i].bytes, record.fields[i].length,
                                             fieldEnd, recordEnd);
                terminatorTag = record.fields[i].tag;
            }
        }
    }
    if (terminator != 0) {
        ReportTerminator(context, record.mfn, terminatorTag, terminator);
    }
    AppendLines(context.output, start, size, options_.lineEnd);
}

}  // namespace

const Format& Iso2709Format() {
    static const Format format{"iso2709",
                               {{"iso-delimiters",
                                 "KIND",
                                 "iso2709 terminators: control (the default) or hash",
                                 {"control", "hash"}},
                                {"iso-line-end",
                                 "END",
                                 "iso2709 line ends: crlf (the default), lf or none",
                                 {"crlf", "lf", "none"}}},
                               false,
                               [](const FormatOptions& options) {
                                   return std::unique_ptr<FormatWriter>(new Iso2709Writer(options));
                               }};
    return format;
}
