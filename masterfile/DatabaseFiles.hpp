// Which two files a DATABASE argument names.
#pragma once

#include <string>

struct DatabaseFiles {
    std::string master;
    std::string crossRef;
};

// What is wrong with a DATABASE argument, if anything.
enum class DatabaseName {
    Found,
    // It names nothing that exists: a folder that is not there.
    Missing,
    // It names more than one database; only a more exact name can say which.
    Ambiguous,
};

// The master file and cross-reference file of `database`: the master file with
// its extension (/data/CDS.MST) or without (/data/cds), or a folder, meaning
// ths in it; empty means ths in the current folder. The cross-reference file
// has the master file's name with the extension .xrf, beside it. Names match
// in any case (see charset::SameInAnyCase); a name that does not exist as
// written is replaced by the one file of its folder that matches it in another
// case (THS.MST for ths.mst). A name that matches nothing is returned as
// written, for opening it to report. Otherwise `error` says what is wrong:
// several files match a name in case; a folder without ths holds several
// other databases; a name without an extension is both a folder and a master
// file; a name that ends in a separator is not a folder.
DatabaseName FindDatabaseFiles(const std::string& database, DatabaseFiles& files,
                               std::string& error);

// The file beside `file`, a database's file, with its name and `extension`
// (".fdt"), found in any case as the database's files are: false, with
// `found` empty, when there is none. When several match it in case, `error`
// says so, and `found` is empty too.
bool FindBeside(const std::string& file, const char* extension, std::string& found,
                std::string& error);
