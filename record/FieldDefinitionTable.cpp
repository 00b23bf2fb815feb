#include "FieldDefinitionTable.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "charset/Charset.hpp"
#include "platform/Files.hpp"

namespace {

constexpr std::size_t kNameColumns = 30;
constexpr std::size_t kCodeColumns = 20;
// Lines that cannot be read are listed up to this many, then counted.
constexpr int kListed = 20;

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view Columns(std::string_view line, std::size_t from, std::size_t count) {
    return from < line.size() ? line.substr(from, count) : std::string_view();
}

// The words of `text`, separated by spaces.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = text.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(text.find(' ', start), text.size());
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

// A whole number written in decimal digits, at most `largest`; nothing
// for anything else.
std::optional<std::int32_t> Number(std::string_view word, std::int32_t largest) {
    if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != word.npos) {
        return std::nullopt;
    }
    std::int32_t number = 0;
    for (const char digit : word) {
        number = number * 10 + (digit - '0');
    }
    return number <= largest ? std::optional<std::int32_t>(number) : std::nullopt;
}

std::string HexByte(unsigned char byte) {
    char digits[8];
    (void)std::snprintf(digits, sizeof digits, "0x%02X", static_cast<unsigned>(byte));
    return digits;
}

// The lines of the table, each without its line end.
class Lines {
  public:
    explicit Lines(std::string_view bytes) : bytes_(bytes) {}

    // The next line, and its number in `number`; false after the last.
    bool Next(std::string_view& line, std::int64_t& number) {
        if (at_ >= bytes_.size()) {
            return false;
        }
        const std::size_t end = std::min(bytes_.find('\n', at_), bytes_.size());
        line = bytes_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        at_ = end + 1;
        number = ++count_;
        return true;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    std::int64_t count_ = 0;
};

bool IsHeaderEnd(std::string_view line) {
    return TrimEnd(line) == "***";
}

// The names written with U+FFFD, over the whole table: one message says them.
struct MendedNames {
    ConversionProblem problem;
    int names = 0;
    std::int64_t firstLine = 0;
};

// Reads one field's line into `field`; otherwise says what is wrong with it.
std::optional<std::string> ReadFieldLine(std::string_view line, FieldDefinition& field) {
    const std::string_view name = TrimEnd(Columns(line, 0, kNameColumns));
    if (name.empty()) {
        return std::string("no name in columns 1 to 30");
    }
    const std::vector<std::string_view> words =
        Words(Columns(line, kNameColumns + kCodeColumns, std::string_view::npos));
    if (words.size() < 4) {
        return std::string(
            "the tag, length, type and repeatable flag after column 50 are not all there");
    }
    if (words.size() > 4) {
        return std::string("more than the tag, length, type and repeatable flag after column 50");
    }
    const std::optional<std::int32_t> tag = Number(words[0], FieldNames::kLargestTag);
    if (!tag || *tag == 0) {
        return "the tag '" + std::string(words[0]) + "' is not a number from 1 to 999";
    }
    const std::optional<std::int32_t> length = Number(words[1], 999999999);
    if (!length) {
        return "the length '" + std::string(words[1]) + "' is not a number";
    }
    const std::optional<std::int32_t> type = Number(words[2], 999999999);
    if (!type) {
        return "the type '" + std::string(words[2]) + "' is not a number";
    }
    if (words[3] != "0" && words[3] != "1") {
        return "the repeatable flag '" + std::string(words[3]) + "' is not 0 or 1";
    }
    field.tag = *tag;
    field.name = std::string(name);
    field.subfieldCodes = std::string(TrimEnd(Columns(line, kNameColumns, kCodeColumns)));
    field.length = *length;
    field.type = *type;
    field.repeatable = words[3] == "1";
    return std::nullopt;
}

// The name in UTF-8, from `charset`, or checked as UTF-8 without one.
std::string NameInUtf8(const std::string& name, const Charset* charset, std::int64_t line,
                       MendedNames& mended) {
    const Charset& from = charset != nullptr ? *charset : Charset::Utf8();
    std::string converted(Charset::kMostUtf8PerByte * name.size(), '\0');
    ConversionProblem problem;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
    const char* end = from.ToUtf8(bytes, name.size(), &converted[0], problem);
    converted.resize(static_cast<std::size_t>(end - converted.data()));
    if (problem.badBytes > 0) {
        if (mended.names++ == 0) {
            mended.firstLine = line;
        }
        mended.problem.Count(problem.firstBadByte);
    }
    return converted;
}

std::string MendedMessage(const MendedNames& mended, const Charset* charset) {
    const std::string which = mended.names == 1
                                  ? "the name on line " + std::to_string(mended.firstLine)
                                  : std::to_string(mended.names) + " names, from line " +
                                        std::to_string(mended.firstLine) + " on,";
    const std::string byte = HexByte(mended.problem.firstBadByte);
    const bool one = mended.names == 1;
    if (charset == nullptr) {
        return which + (one ? " is" : " are") + " not valid UTF-8 (byte " + byte +
               (one ? "" : " first") +
               "); written with U+FFFD: give --encoding with the database's code page";
    }
    const std::string undefined =
        charset == &Charset::Utf8()
            ? std::string(" that is not valid UTF-8")
            : std::string(", which ") + charset->Name() + " does not define";
    if (one) {
        return which + " holds byte " + byte + undefined + "; written as U+FFFD";
    }
    return which + " hold bytes such as " + byte + undefined + "; written as U+FFFD";
}

}  // namespace

bool FieldNames::Add(FieldDefinition field) {
    std::uint16_t& at = index_[static_cast<std::size_t>(field.tag)];
    if (at != 0) {
        return false;
    }
    fields_.push_back(std::move(field));
    at = static_cast<std::uint16_t>(fields_.size());
    return true;
}

FieldNames ParseFieldDefinitionTable(std::string_view bytes, const std::string& shown,
                                     const Charset* charset, std::vector<std::string>& messages) {
    // Field lines follow the header's end, when there is one.
    bool header = false;
    Lines lines(bytes);
    std::string_view line;
    std::int64_t number = 0;
    while (!header && lines.Next(line, number)) {
        header = IsHeaderEnd(line);
    }
    if (!header) {
        lines = Lines(bytes);
    }

    FieldNames names;
    MendedNames mended;
    int listed = 0;
    long long unlisted = 0;
    while (lines.Next(line, number)) {
        if (TrimEnd(line).empty()) {
            continue;
        }
        FieldDefinition field;
        std::optional<std::string> wrong = ReadFieldLine(line, field);
        if (!wrong) {
            if (const FieldDefinition* earlier = names.Find(field.tag)) {
                wrong = "tag " + std::to_string(field.tag) + " is named on line " +
                        std::to_string(earlier->line) + " already";
            }
        }
        if (wrong) {
            if (listed < kListed) {
                ++listed;
                messages.push_back(shown + ": line " + std::to_string(number) + ": " + *wrong +
                                   "; line skipped");
            } else {
                ++unlisted;
            }
            continue;
        }
        field.line = number;
        field.name = NameInUtf8(field.name, charset, number, mended);
        names.Add(std::move(field));
    }
    if (unlisted > 0) {
        messages.push_back(shown + ": " + std::to_string(unlisted) +
                           " more lines skipped, not listed one by one");
    }
    if (mended.names > 0) {
        messages.push_back(shown + ": " + MendedMessage(mended, charset));
    }
    names.SetBytes(static_cast<std::int64_t>(bytes.size()));
    return names;
}

bool ReadFieldDefinitionTable(const std::string& name, const Charset* charset, FieldNames& names,
                              std::vector<std::string>& messages, std::string& failure) {
    std::string reason;
    std::FILE* file = OpenFile(name, "rb", reason);
    if (file == nullptr) {
        failure = "cannot read " + name + ": " + reason;
        return false;
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closed(file, std::fclose);
    // Read a block at a time, up to a byte more than the largest table.
    std::string bytes;
    char block[16 * 1024];
    errno = 0;
    for (std::size_t count = sizeof block;
         count == sizeof block && bytes.size() <= static_cast<std::size_t>(kLargestFieldTable);) {
        count = std::fread(block, 1, sizeof block, file);
        bytes.append(block, count);
    }
    if (std::ferror(file) != 0) {
        failure = "cannot read " + name + ": " + SystemReason(errno);
        return false;
    }
    if (bytes.size() > static_cast<std::size_t>(kLargestFieldTable)) {
        failure = "cannot read " + name + ": larger than 1 MiB, too large for a field definition " +
                  "table";
        return false;
    }
    names = ParseFieldDefinitionTable(bytes, name, charset, messages);
    return true;
}
