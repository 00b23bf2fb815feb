// Records from a list in memory: a record source of a second kind beside the
// master file's, to show that the export run writes whatever a source yields
// and says whatever it reports, knowing nothing of master files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "platform/InputFile.hpp"
#include "record/RecordSource.hpp"

class ListSource final : public RecordSource {
  public:
    struct Entry {
        Entry(std::int32_t number, RecordFields::State read, std::vector<Field> values,
              std::vector<ProblemKind> said = {})
            : mfn(number), state(read), fields(std::move(values)), problems(std::move(said)) {}
        std::int32_t mfn;
        RecordFields::State state;
        std::vector<Field> fields;
        // Reported as the record is read; a problem that costs the record its
        // fields makes it Unreadable.
        std::vector<ProblemKind> problems;
    };

    ListSource(std::string name, std::vector<Entry> entries)
        : name_(std::move(name)), entries_(std::move(entries)) {
        // Every value is followed by the readable slack that the formats'
        // block copies rely on.
        for (const Entry& entry : entries_) {
            for (const Field& field : entry.fields) {
                values_.emplace_back(new unsigned char[field.value.size() + kViewSlack]);
                std::copy(field.value.begin(), field.value.end(), values_.back().get());
                std::fill_n(values_.back().get() + field.value.size(), kViewSlack, '~');
            }
        }
    }

    const std::string& Name() const override { return name_; }
    std::vector<InputName> Inputs() const override { return {}; }
    bool Open(OpenFailure&) override { return true; }
    MfnRange Range() const override {
        return {1, entries_.empty() ? 0 : entries_.back().mfn, true};
    }
    std::int64_t Limit(std::int32_t from, std::int32_t to) override {
        from_ = from;
        to_ = to;
        Rewind();
        return std::count_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
            return entry.mfn >= from_ && entry.mfn <= to_;
        });
    }
    bool Next(RecordFields& record, ProblemSink& problems) override {
        while (next_ < entries_.size() && entries_[next_].mfn < from_) {
            SkipValues(entries_[next_++]);
        }
        if (next_ == entries_.size() || entries_[next_].mfn > to_) {
            return false;
        }
        const Entry& entry = entries_[next_++];
        record.mfn = entry.mfn;
        record.state = entry.state;
        record.fields.clear();
        record.valueBytes = 0;
        record.valueReader = nullptr;
        for (const Field& field : entry.fields) {
            record.fields.push_back({field.tag, values_[value_++].get(), field.value.size()});
            record.valueBytes += field.value.size();
        }
        for (const ProblemKind kind : entry.problems) {
            ReportProblem(record, {kind}, &problems);
        }
        return true;
    }
    void Rewind() override {
        next_ = 0;
        value_ = 0;
        ++rewound;
    }
    std::vector<std::string> Shortfalls() const override { return {}; }
    std::vector<SourceFact> Facts() const override {
        return {
            {SourceFact::Kind::Layout, "entries", {}, static_cast<std::int64_t>(entries_.size())}};
    }
    std::string NoneReadable(long long stored) const override {
        return name_ + ": none of its " + std::to_string(stored) + " records can be read";
    }

    int rewound = 0;

  private:
    void SkipValues(const Entry& entry) { value_ += entry.fields.size(); }

    std::string name_;
    std::vector<Entry> entries_;
    std::vector<std::unique_ptr<unsigned char[]>> values_;
    std::int32_t from_ = 1;
    std::int32_t to_ = 0;
    std::size_t next_ = 0;
    std::size_t value_ = 0;
};
