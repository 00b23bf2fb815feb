// What --info tells of a database's records, gathered one record at a time
// as the run reads them: how many of each kind, what each tag holds, and the
// evidence of the code page the values were written in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "charset/CodePageEvidence.hpp"
#include "record/RecordFields.hpp"

class DatabaseInfo {
  public:
    struct Records {
        std::int64_t active = 0;
        std::int64_t empty = 0;  // active, without fields
        std::int64_t deleted = 0;
        std::int64_t neverWritten = 0;
        std::int64_t damaged = 0;  // read without fields, for damage
        // The first and the last MFN read; 0 before any.
        std::int32_t firstMfn = 0;
        std::int32_t lastMfn = 0;
    };

    struct TagUse {
        std::int32_t tag = 0;
        std::int64_t occurrences = 0;
        std::int64_t records = 0;  // that have it
        std::size_t longest = 0;   // bytes
        // Bit i: the subfield code SubfieldCode(i) was seen, '^' and a
        // letter or digit, in either case.
        std::uint64_t subfields = 0;
        std::int32_t lastMfn = 0;  // of the last record counted in `records`
    };

    DatabaseInfo();

    // Counts a record as the source yielded it; a value that cannot be read
    // to its end is said to `problems`.
    void Add(const RecordFields& record, ProblemSink& problems);

    const Records& RecordCounts() const { return records_; }
    // Every tag seen, in ascending order.
    std::vector<TagUse> Tags() const;
    // The values' bytes as the code page guess reads them.
    const CodePageEvidence& Evidence() const { return evidence_; }
    // How many values there were, and how many of them hold a byte above 0x7F.
    std::int64_t Values() const { return values_; }
    std::int64_t ValuesWithHighBytes() const { return valuesWithHighBytes_; }

    // The subfield code of bit `bit` of TagUse::subfields: '0' to '9', 'a' to 'z'.
    static char SubfieldCode(int bit);

  private:
    TagUse& UseOf(std::int32_t tag);
    void AddValue(TagUse& use, const RecordFields& record, const FieldValue& field,
                  ProblemSink& problems);

    Records records_;
    // The tags of 16 bits, the only ones a master file stores, by tag +
    // 32768: 1 + their place in uses_, or 0 before they are seen. Other tags
    // are looked up in otherTags_.
    std::vector<std::uint32_t> index_;
    std::map<std::int32_t, std::size_t> otherTags_;
    std::vector<TagUse> uses_;
    CodePageEvidence evidence_;
    std::int64_t values_ = 0;
    std::int64_t valuesWithHighBytes_ = 0;
};
