#include "MasterFileSource.hpp"

#include <algorithm>
#include <limits>

MasterFileSource::MasterFileSource(const std::string& database) {
    found_ = FindDatabaseFiles(database, files_, notFound_);
}

std::vector<InputName> MasterFileSource::Inputs() const {
    return {{files_.master, "database's own master file"},
            {files_.crossRef, "database's own cross-reference file"}};
}

bool MasterFileSource::Open(OpenFailure& failure) {
    if (found_ != DatabaseName::Found) {
        failure.lines = {notFound_};
        failure.usage = found_ == DatabaseName::Ambiguous;
        return false;
    }
    master_ = std::make_unique<InputFile>();
    // Four bytes a record: a smaller buffer serves it as well, and touches
    // fewer pages of fresh memory.
    crossRef_ = std::make_unique<InputFile>(64 * 1024);
    std::string reason;
    if (!master_->Open(files_.master, reason)) {
        failure.lines.push_back("cannot read " + files_.master + ": " + reason);
    }
    if (!crossRef_->Open(files_.crossRef, reason)) {
        failure.lines.push_back("cannot read " + files_.crossRef + ": " + reason);
    }
    if (!failure.lines.empty()) {
        return false;
    }
    reader_.master = master_.get();
    reader_.crossRef = crossRef_.get();
    if (master_->Size() < layout::kControlRecordSize) {
        failure.lines = {files_.master + ": " + std::to_string(master_->Size()) +
                         " bytes, too short to hold the 16-byte control record; no "
                         "records exported"};
        return false;
    }
    if (reader_.ReadControlRecord() != 0) {
        failure.lines = {files_.master +
                         ": the control record could not be read (a read error); no "
                         "records exported"};
        return false;
    }
    if (reader_.controlRecord.NXTMFN <= 0) {
        failure.lines = {files_.master + ": the control record gives NXTMFN " +
                         std::to_string(reader_.controlRecord.NXTMFN) +
                         ", which counts no records; no records exported"};
        return false;
    }
    lastMfn_ = std::max<std::int64_t>(reader_.lastMfn, 0);
    findable_ = layout::PointerSlotCount(crossRef_->Size());
    Limit(1, std::numeric_limits<std::int32_t>::max());
    return true;
}

MfnRange MasterFileSource::Range() const {
    return {1, static_cast<std::int32_t>(lastMfn_), true};
}

std::int64_t MasterFileSource::Limit(std::int32_t from, std::int32_t to) {
    first_ = std::max<std::int64_t>(from, 1);
    last_ = std::min<std::int64_t>(to, lastMfn_);
    end_ = std::min(last_, findable_);
    Rewind();
    return std::max<std::int64_t>(end_ - first_ + 1, 0);
}

void MasterFileSource::Rewind() {
    next_ = first_;
    reader_.ForgetRecordCounts();
}

bool MasterFileSource::Next(RecordFields& record, ProblemSink& problems) {
    if (next_ > end_) {
        return false;
    }
    reader_.ReadRecord(static_cast<std::int32_t>(next_++), record, &problems);
    return true;
}

std::vector<std::string> MasterFileSource::Shortfalls() const {
    if (last_ <= findable_) {
        return {};
    }
    return {files_.crossRef + ": holds pointers for MFN 1 to " + std::to_string(findable_) +
            " only, but " + files_.master + " counts MFN 1 to " + std::to_string(lastMfn_) +
            "; MFN " + std::to_string(std::max(first_, findable_ + 1)) + " onwards not exported"};
}

std::vector<SourceFact> MasterFileSource::Facts() const {
    using Kind = SourceFact::Kind;
    std::vector<SourceFact> facts = {
        {Kind::File, "master file", files_.master, master_ ? master_->Size() : -1},
        {Kind::File, "cross-reference file", files_.crossRef, crossRef_ ? crossRef_->Size() : -1},
    };
    const layout::DatabaseLayout& layout = reader_.Layout();
    switch (layout.format) {
        case layout::RecordFormat::Standard: {
            const MasterFileReader::Counts counts = reader_.RecordCounts();
            const std::int64_t read = next_ - first_ - counts.notRead;
            facts.push_back({Kind::Layout, "record format", "standard"});
            facts.push_back(
                {Kind::Layout, "records with 18-byte leaders", {}, read - counts.alignedLeaders});
            facts.push_back(
                {Kind::Layout, "records with 20-byte leaders", {}, counts.alignedLeaders});
            break;
        }
        case layout::RecordFormat::Ffi:
            facts.push_back({Kind::Layout, "record format", "FFI, 22-byte leaders"});
            break;
        case layout::RecordFormat::FfiAligned:
            facts.push_back({Kind::Layout, "record format", "FFI aligned, 24-byte leaders"});
            break;
    }
    facts.push_back({Kind::Layout, "byte order",
                     layout.order == layout::ByteOrder::Little ? "little-endian" : "big-endian"});
    facts.push_back({Kind::Layout, "pointer shift", {}, layout.pointerShift});
    facts.push_back({Kind::Layout, "NXTMFN", {}, reader_.controlRecord.NXTMFN});
    return facts;
}

std::string MasterFileSource::NoneReadable(long long stored) const {
    return files_.master + ": none of the " + std::to_string(stored) + " records that " +
           files_.crossRef + " locates can be read: the two files may be swapped, " +
           files_.master + " may not be a master file, or " + files_.crossRef +
           " may belong to another database; their problems are only counted below";
}
