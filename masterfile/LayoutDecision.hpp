// How a database stores its records, recognised from its own bytes: nothing
// in the files names their layout.
#pragma once

#include "OnDiskLayout.hpp"
#include "platform/InputFile.hpp"

// How many of the first stored records the decision reads.
constexpr int kLayoutSample = 8;

// Decides the layout of a database from its control record (`control`, the
// master file's first 16 bytes) and its first stored records.
//
// Each candidate, in each byte order the pointer shift that MFTYPE gives in
// that order (then no shift, if that differs) with each record format, is
// scored by how many records fit it whole (FitOf) among the first
// kLayoutSample whose pointer, read in that order, is neither 0 nor marked
// deleted, and then by how many fit it but are cut by the end of the file.
// The highest score wins; on a tie the earlier candidate:
// little-endian before big-endian, MFTYPE's shift before none, and the
// standard format before FFI and aligned FFI. When no record fits any
// candidate, the published layout: little-endian, no shift, standard.
layout::DatabaseLayout DecideLayout(const unsigned char* control, InputFile& master,
                                    InputFile& crossRef);
