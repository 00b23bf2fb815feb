#include "LayoutDecision.hpp"

#include <algorithm>
#include <array>

#include "RecordFit.hpp"

namespace {

using namespace layout;

struct StoredRecord {
    std::int32_t mfn;
    std::uint32_t pointer;
};

struct Sample {
    std::array<StoredRecord, kLayoutSample> records;
    int count = 0;
};

// The first records that the cross-reference file, read in `order`, says are
// stored: MFNs up to `lastMfn` whose pointer is neither 0 nor marked deleted.
Sample FirstStored(InputFile& crossRef, std::int64_t lastMfn, ByteOrder order) {
    Sample sample;
    const std::int64_t last = std::min(lastMfn, PointerSlotCount(crossRef.Size()));
    for (std::int64_t mfn = 1; mfn <= last && sample.count < kLayoutSample; ++mfn) {
        const unsigned char* bytes =
            crossRef.View(PointerPosition(static_cast<std::int32_t>(mfn)), kPointerSize);
        if (bytes == nullptr) {
            break;
        }
        const std::uint32_t pointer = Uint32(bytes, order);
        if (pointer != 0 && (pointer & 0x80000000u) == 0) {
            sample.records[static_cast<std::size_t>(sample.count++)] = {
                static_cast<std::int32_t>(mfn), pointer};
        }
    }
    return sample;
}

// Records that fit whole count first; records cut by the end of the file,
// whose leaders fit, tell the layout of a file cut short (a database of one
// record, say) when no record fits whole.
int Score(InputFile& master, const Sample& sample, const DatabaseLayout& candidate) {
    int whole = 0;
    int cut = 0;
    for (int i = 0; i < sample.count; ++i) {
        const StoredRecord& stored = sample.records[static_cast<std::size_t>(i)];
        const PointerTarget target = DecodePointer(stored.pointer, candidate.pointerShift);
        if (target.kind != PointerKind::Record) {
            continue;
        }
        Fit fit = Fit::None;
        if (candidate.format == RecordFormat::Standard) {
            fit = std::max(FitOf(master, stored.mfn, target.position, kStandardLeader,
                                 kStandardEntry, candidate.order),
                           FitOf(master, stored.mfn, target.position, kAlignedLeader,
                                 kStandardEntry, candidate.order));
        } else {
            fit = FitOf(master, stored.mfn, target.position, FfiLeaderShapeOf(candidate.format),
                        EntryShapeOf(candidate.format), candidate.order);
        }
        whole += fit == Fit::Whole ? 1 : 0;
        cut += fit == Fit::Cut ? 1 : 0;
    }
    return whole * (kLayoutSample + 1) + cut;
}

}  // namespace

DatabaseLayout DecideLayout(const unsigned char* control, InputFile& master, InputFile& crossRef) {
    DatabaseLayout best;
    int bestScore = 0;
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const std::int64_t lastMfn = static_cast<std::int64_t>(Int32(control + 4, order)) - 1;
        const Sample sample = FirstStored(crossRef, lastMfn, order);
        const int declaredShift = PointerShift(Int16(control + 14, order));
        for (const int shift : {declaredShift, 0}) {
            for (const RecordFormat format :
                 {RecordFormat::Standard, RecordFormat::Ffi, RecordFormat::FfiAligned}) {
                const DatabaseLayout candidate{order, shift, format};
                const int score = Score(master, sample, candidate);
                if (score > bestScore) {
                    best = candidate;
                    bestScore = score;
                    // No candidate can score more than every record sampled
                    // fitting whole.
                    if (score == kLayoutSample * (kLayoutSample + 1)) {
                        return best;
                    }
                }
            }
            if (declaredShift == 0) {
                break;  // the second shift is the same
            }
        }
    }
    return best;
}
