#include "Iso2709Source.hpp"

namespace {

// A leader as the CDS/ISIS programs write it: no indicators, no subfield
// codes, directory entries of a 4-digit length and a 5-digit start.
bool IsCdsIsisLeader(const IsoLeader& leader) {
    return leader.indicatorCount == 0 && leader.subfieldCodeLength == 0 &&
           leader.lengthDigits == 4 && leader.startDigits == 5 && leader.implementationBytes == 0;
}

}  // namespace

static_assert(InputFile::kDefaultBufferSize >= Iso2709Reader::kLargestExtent,
              "the input's buffer holds the largest record with its line ends");

std::vector<InputName> Iso2709Source::Inputs() const {
    return {{name_, "ISO 2709 file being exported"}};
}

bool Iso2709Source::Open(OpenFailure& failure) {
    file_ = std::make_unique<InputFile>();
    std::string reason;
    if (!file_->Open(name_, reason)) {
        failure.lines = {"cannot read " + name_ + ": " + reason};
        return false;
    }
    reader_ = std::make_unique<Iso2709Reader>(*file_);
    switch (reader_->Open(reason)) {
        case Iso2709Reader::Opened::Records:
            return true;
        case Iso2709Reader::Opened::Empty:
            failure.lines = {name_ + ": " +
                             (file_->Size() == 0
                                  ? std::string("an empty file")
                                  : "only line ends, " + std::to_string(file_->Size()) + " bytes") +
                             ", which holds no ISO 2709 record; no records exported"};
            return false;
        case Iso2709Reader::Opened::NotIso2709:
            break;
    }
    failure.lines = {name_ + ": not an ISO 2709 file: " + reason + "; no records exported"};
    return false;
}

std::int64_t Iso2709Source::Limit(std::int32_t from, std::int32_t to) {
    from_ = from;
    to_ = to;
    Rewind();
    return -1;
}

bool Iso2709Source::Next(RecordFields& record, ProblemSink& problems) {
    while (reader_->Position() < to_) {
        // The records before the range are read only to be counted.
        const bool inRange = reader_->Position() + 1 >= from_;
        if (reader_->ReadNext(record, inRange ? &problems : nullptr) == Iso2709Reader::Next::End) {
            last_ = reader_->Position();
            lastKnown_ = true;
            return false;
        }
        if (inRange) {
            if (record.state == RecordFields::State::Stored) {
                ++read_;
                otherLeaders_ += IsCdsIsisLeader(reader_->Leader()) ? 0 : 1;
            }
            return true;
        }
    }
    return false;
}

void Iso2709Source::Rewind() {
    reader_->Rewind();
    read_ = otherLeaders_ = 0;
}

std::vector<SourceFact> Iso2709Source::Facts() const {
    using Kind = SourceFact::Kind;
    std::vector<SourceFact> facts = {
        {Kind::File, "ISO 2709 file", name_, file_ ? file_->Size() : -1},
        {Kind::Layout, "record format", "ISO 2709"},
    };
    if (!reader_) {
        return facts;
    }
    const IsoVariant& variant = reader_->Variant();
    facts.push_back(
        {Kind::Layout, "field and record ends",
         variant.terminators == IsoVariant::Terminators::Hash ? "# and #" : "0x1E and 0x1D"});
    const char* lines = "not cut into lines";
    switch (variant.lineEnd) {
        case IsoVariant::LineEnd::CrLf:
            lines = "80 bytes, ended by CR LF";
            break;
        case IsoVariant::LineEnd::Lf:
            lines = "80 bytes, ended by LF";
            break;
        case IsoVariant::LineEnd::None:
            break;
    }
    facts.push_back({Kind::Layout, "lines", lines});
    facts.push_back({Kind::Layout, "records with CDS/ISIS leaders", {}, read_ - otherLeaders_});
    facts.push_back({Kind::Layout, "records with other leaders", {}, otherLeaders_});
    return facts;
}

std::string Iso2709Source::NoneReadable(long long stored) const {
    return name_ + ": none of the " + std::to_string(stored) +
           " records of the range can be read as ISO 2709: the file may be damaged there, or "
           "not be ISO 2709; their problems are only counted below";
}
