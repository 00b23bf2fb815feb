// Whether bytes of the master file hold the record of a given MFN in a given
// layout: the test by which a database's layout is recognised.
#pragma once

#include <cstdint>

#include "InputFile.hpp"
#include "OnDiskLayout.hpp"

// Whether the record at `start`, read with `leader` and `entry` in `order`, is
// wholly `mfn`'s own: its leader is consistent and names `mfn`, the record
// lies inside the file, and every directory entry inside the data area.
bool RecordFits(InputFile& master, std::int32_t mfn, std::int64_t start,
                const layout::LeaderShape& leader, const layout::EntryShape& entry,
                layout::ByteOrder order);
