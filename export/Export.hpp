// One export run: the database's records, in MFN order, as tagged text.
#pragma once

#include <cstdio>

struct ExportFiles {
    const char* master;
    const char* crossRef;
    const char* output;
};

// Creates or truncates the output file, then writes every record of the
// database into it. Each problem found goes to `messages` as one line
// starting "mstexport: ". Returns the exit status: 0 when the whole database
// was exported without a problem, 1 otherwise.
int ExportDatabase(const ExportFiles& files, std::FILE* messages);
