#include "DatabaseFiles.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "charset/CaseFolding.hpp"
#include "platform/Files.hpp"

namespace fs = std::filesystem;

namespace {

// "a.mst", "a.mst and b.mst", "a.mst, b.mst and c.mst".
std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

// The names in `folder` (the current one when empty) that `keep` accepts,
// in order.
template <typename Keep>
std::vector<std::string> NamesIn(const fs::path& folder, Keep keep) {
    std::vector<std::string> names;
    std::error_code ignored;
    const fs::path listed = folder.empty() ? fs::path(".") : folder;
    for (fs::directory_iterator entry(listed, ignored), end; !ignored && entry != end;
         entry.increment(ignored)) {
        std::string name = Utf8OfPath(entry->path().filename());
        if (keep(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
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
    const std::vector<std::string> matches = NamesIn(folder, [&](const std::string& candidate) {
        return charset::SameInAnyCase(candidate, name);
    });
    if (matches.size() == 1) {
        found = Utf8OfPath(folder / PathOfUtf8(matches.front()));
    } else if (matches.size() > 1) {
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

bool HasExtension(const std::string& name, const char* extension) {
    return charset::SameInAnyCase(Utf8OfPath(PathOfUtf8(name).extension()), extension);
}

// A folder named as DATABASE that holds no ths.mst, in any case, but other
// master files: more than one cannot be chosen between.
bool SeveralOtherDatabases(const std::string& database, const fs::path& folder,
                           std::string& error) {
    const std::vector<std::string> masters =
        NamesIn(folder, [](const std::string& name) { return HasExtension(name, ".mst"); });
    const bool holdsThs = std::any_of(masters.begin(), masters.end(), [](const std::string& name) {
        return charset::SameInAnyCase(name, "ths.mst");
    });
    if (holdsThs || masters.size() < 2) {
        return false;
    }
    const fs::path shown = PathOfUtf8(database);
    error =
        database + (shown.has_filename() ? "/" : "") + " holds " + Listed(masters) + ": name one";
    return true;
}

}  // namespace

DatabaseName FindDatabaseFiles(const std::string& database, DatabaseFiles& files,
                               std::string& error) {
    fs::path folder;
    std::string base = "ths";
    std::string masterName = "ths.mst";
    if (!database.empty()) {
        const fs::path path = PathOfUtf8(database);
        std::error_code ignored;
        const bool isFolder = fs::is_directory(path, ignored);
        if (!path.has_filename() && !isFolder) {
            // "a.mst/" asks for a folder, whatever a.mst is.
            error = "cannot read " + database + ": " +
                    (fs::exists(path.parent_path(), ignored) ? "not a folder" : "no such folder");
            return DatabaseName::Missing;
        }
        if (isFolder && path.has_filename()) {
            // "cds" beside cds.mst could mean either; "cds/" is the folder.
            std::string beside;
            std::string several;
            if (!FindInAnyCase(path.parent_path(), Utf8OfPath(path.filename()) + ".mst", beside,
                               several) ||
                fs::exists(PathOfUtf8(beside), ignored)) {
                error = database + " names both the folder " + database + "/ and the master file " +
                        beside + ": write " + database + "/ or " + beside;
                return DatabaseName::Ambiguous;
            }
        }
        if (isFolder) {
            if (SeveralOtherDatabases(database, path, error)) {
                return DatabaseName::Ambiguous;
            }
            folder = path;
        } else {
            folder = path.parent_path();
            base = Utf8OfPath(path.filename());
            masterName = base + ".mst";
            if (HasExtension(base, ".mst")) {
                base = Utf8OfPath(path.stem());
                masterName = Utf8OfPath(path.filename());
            }
        }
    }
    return FindInAnyCase(folder, masterName, files.master, error) &&
                   FindInAnyCase(folder, base + ".xrf", files.crossRef, error)
               ? DatabaseName::Found
               : DatabaseName::Ambiguous;
}

bool FindBeside(const std::string& file, const char* extension, std::string& found,
                std::string& error) {
    const fs::path path = PathOfUtf8(file);
    found.clear();
    std::string beside;
    if (!FindInAnyCase(path.parent_path(), Utf8OfPath(path.stem()) + extension, beside, error)) {
        return false;
    }
    std::error_code ignored;
    if (!fs::exists(PathOfUtf8(beside), ignored)) {
        return false;
    }
    found = beside;
    return true;
}
