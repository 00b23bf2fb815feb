#include "DatabaseFiles.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Files.hpp"

namespace fs = std::filesystem;

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualInAnyCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// `name` in `folder` as it exists there, in whatever case; see FindDatabaseFiles.
bool FindInAnyCase(const fs::path& folder, const std::string& name, std::string& found,
                   std::string& error) {
    const fs::path written = folder / PathOfUtf8(name);
    found = Utf8OfPath(written);
    std::error_code ignored;
    if (fs::exists(written, ignored)) {
        return true;
    }
    std::vector<std::string> matches;
    const fs::path listed = folder.empty() ? fs::path(".") : folder;
    for (fs::directory_iterator entry(listed, ignored), end; !ignored && entry != end;
         entry.increment(ignored)) {
        const std::string candidate = Utf8OfPath(entry->path().filename());
        if (EqualInAnyCase(candidate, name)) {
            matches.push_back(candidate);
        }
    }
    if (matches.size() == 1) {
        found = Utf8OfPath(folder / PathOfUtf8(matches.front()));
    } else if (matches.size() > 1) {
        std::sort(matches.begin(), matches.end());
        error = "several files in " +
                (folder.empty() ? std::string("the current folder") : Utf8OfPath(folder)) +
                " match " + name + " in case: ";
        for (std::size_t i = 0; i < matches.size(); ++i) {
            error += (i > 0 ? ", " : "") + matches[i];
        }
        error += "; rename all but one";
        return false;
    }
    return true;
}

}  // namespace

bool FindDatabaseFiles(const std::string& database, DatabaseFiles& files, std::string& error) {
    fs::path folder;
    std::string base = "ths";
    std::string masterName = "ths.mst";
    if (!database.empty()) {
        const fs::path path = PathOfUtf8(database);
        std::error_code ignored;
        if (fs::is_directory(path, ignored)) {
            folder = path;
        } else {
            folder = path.parent_path();
            base = Utf8OfPath(path.filename());
            masterName = base + ".mst";
            if (EqualInAnyCase(Utf8OfPath(path.extension()), ".mst")) {
                base = Utf8OfPath(path.stem());
                masterName = Utf8OfPath(path.filename());
            }
        }
    }
    return FindInAnyCase(folder, masterName, files.master, error) &&
           FindInAnyCase(folder, base + ".xrf", files.crossRef, error);
}
