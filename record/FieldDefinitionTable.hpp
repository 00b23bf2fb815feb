// The field definition table of a database (NAME.fdt beside its master
// file): the name that CDS/ISIS shows for each tag, and what it allows in
// it. It is metadata of the database whatever its records are read from.
//
// Its layout, as the CDS/ISIS programs write it: optional header lines up
// to a line "***"; then a line per field: the name in columns 1 to 30, the
// subfield codes in columns 31 to 50, then, separated by spaces, the tag
// (1 to 999), the length, the type and the repeatable flag (0 or 1). Names
// and codes are padded with spaces, which are not part of them. Lines end
// in CR LF or LF; the last may have no end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Charset;

struct FieldDefinition {
    std::int32_t tag = 0;
    // In UTF-8, as the formats write it.
    std::string name;
    // The subfield codes as written, in the database's code page.
    std::string subfieldCodes;
    std::int32_t length = 0;
    std::int32_t type = 0;
    bool repeatable = false;
    // The table's line that defines it, counted from 1.
    std::int64_t line = 0;
};

// The fields a table defines, in its order, and each tag's name.
class FieldNames {
  public:
    static constexpr std::int32_t kLargestTag = 999;

    const std::vector<FieldDefinition>& Fields() const { return fields_; }
    // The size of the table read, in bytes.
    std::int64_t Bytes() const { return bytes_; }
    void SetBytes(std::int64_t bytes) { bytes_ = bytes; }

    // The definition of `tag`; nullptr when the table has none.
    const FieldDefinition* Find(std::int32_t tag) const {
        if (tag < 1 || tag > kLargestTag) {
            return nullptr;
        }
        const std::uint16_t at = index_[static_cast<std::size_t>(tag)];
        return at == 0 ? nullptr : &fields_[at - 1u];
    }
    // The name of `tag` in UTF-8; nullptr when the table has none.
    const std::string* NameOf(std::int32_t tag) const {
        const FieldDefinition* field = Find(tag);
        return field != nullptr ? &field->name : nullptr;
    }

    // Takes in `field`, whose tag is 1 to 999, unless its tag is defined
    // already: returns false then.
    bool Add(FieldDefinition field);

  private:
    std::vector<FieldDefinition> fields_;
    std::int64_t bytes_ = 0;
    // Each tag's place in fields_, counted from 1; 0 for none.
    std::vector<std::uint16_t> index_ = std::vector<std::uint16_t>(kLargestTag + 1, 0);
};

// The largest file read as a field definition table: 999 fields take a few
// dozen kilobytes; anything far larger is not one.
constexpr std::int64_t kLargestFieldTable = 1024 * 1024;

// Reads a table from its bytes. `shown` names it in the messages, which
// go to `messages` a line each, without "mstexport: ": one for each line
// that cannot be read, which is skipped (at most 20, then one that counts
// the rest), and one for the names written with U+FFFD. The names are in
// `charset`, the database's code page, and converted to UTF-8; without one
// they are taken as UTF-8, and checked.
FieldNames ParseFieldDefinitionTable(std::string_view bytes, const std::string& shown,
                                     const Charset* charset, std::vector<std::string>& messages);

// Reads the table in the file `name` as ParseFieldDefinitionTable does.
// False, with what to say in `failure`, when the file cannot be read or is
// too large to be a table.
bool ReadFieldDefinitionTable(const std::string& name, const Charset* charset, FieldNames& names,
                              std::vector<std::string>& messages, std::string& failure);
