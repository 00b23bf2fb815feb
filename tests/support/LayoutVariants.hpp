// The master file layouts of the CDS/ISIS builds as databases of one history:
// each variant writes the same records in its own way, and must export like
// the published layout's twin.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "DatabaseWriter.hpp"

// How a variant is written. Aligned stands for standard records whose
// leaders alternate between 20 and 18 bytes.
struct Variant {
    const char* name;
    LeaderLayout layout;
    Endianness order;
    int shift;
    std::uint32_t flags;  // pointer bits that carry no position
};

inline void PrintTo(const Variant& variant, std::ostream* out) {
    *out << variant.name;
}

extern const Variant kPublished;

// Every layout but the published one.
const std::vector<Variant>& LayoutVariants();

// Records of varied shapes, some locked, updates out of MFN order, a deleted
// and a never-written MFN, written as `variant` writes them.
DatabaseWriter History(const Variant& variant);
