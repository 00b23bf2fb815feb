// Which two files a DATABASE argument names.
#pragma once

#include <string>

struct DatabaseFiles {
    std::string master;
    std::string crossRef;
};

// The master file and cross-reference file of `database`: the master file with
// its extension (/data/CDS.MST) or without (/data/cds), or a folder, meaning
// ths in it; empty means ths in the current folder. The cross-reference file
// has the master file's name with the extension .xrf, beside it. Extensions
// match in any case; a name that does not exist as written is replaced by the
// one file of its folder that matches it in another case (THS.MST for
// ths.mst). A name that matches nothing is returned as written, for opening it
// to report. Returns false when a name matches several files, with a message
// that names them in `error`.
bool FindDatabaseFiles(const std::string& database, DatabaseFiles& files, std::string& error);
