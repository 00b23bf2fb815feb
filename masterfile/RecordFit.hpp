// Whether bytes of the master file hold the record of a given MFN in a given
// layout: the test by which a database's layout is recognised, and a
// standard record's leader chosen.
#pragma once

#include <cstdint>

#include "OnDiskLayout.hpp"
#include "platform/InputFile.hpp"

enum class Fit {
    None,
    // The leader is consistent and names the MFN, but the record reaches past
    // the end of the file: the file was cut inside it.
    Cut,
    // The record is wholly the MFN's own: its leader is consistent and names
    // the MFN, the record lies inside the file, and every directory entry
    // inside the data area.
    Whole,
};

// How the record at `start`, read with `leader` and `entry` in `order`, fits
// `mfn`.
Fit FitOf(InputFile& master, std::int32_t mfn, std::int64_t start,
          const layout::LeaderShape& leader, const layout::EntryShape& entry,
          layout::ByteOrder order);

inline bool RecordFits(InputFile& master, std::int32_t mfn, std::int64_t start,
                       const layout::LeaderShape& leader, const layout::EntryShape& entry,
                       layout::ByteOrder order) {
    return FitOf(master, mfn, start, leader, entry, order) == Fit::Whole;
}

// A writer may round a record's length up to a multiple of 2 or 4 bytes.
constexpr std::int64_t kMostPadding = 3;

// Whether the record at `start`, whose leader `read` with `shape` is
// consistent and which lies inside the file, is laid out as a writer lays out
// a record, the values one after another: the furthest end of a value that
// lies inside the data area is the data area's end, or at most kMostPadding
// bytes short of it. A leader that names no entry has an empty data area.
bool ValuesFillDataArea(InputFile& master, std::int64_t start, const layout::WideLeader& read,
                        const layout::LeaderShape& shape, const layout::EntryShape& entry,
                        layout::ByteOrder order);
