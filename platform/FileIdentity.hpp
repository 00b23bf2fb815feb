// What a name on disk leads to, and which file it is: two names lead to the
// same file when their identities are equal, however they are spelled, in
// whatever case, through whatever links.
#pragma once

#include <cstdint>
#include <string>

enum class FileKind {
    Missing,  // nothing by that name
    Unknown,  // it could not be looked at (no permission to its folder, say)
    Regular,
    Directory,
    Pipe,    // a FIFO, or a named pipe on Windows
    Device,  // a character or block device: /dev/null, NUL, a console
    Other,   // a socket, say
};

struct FileIdentity {
    FileKind kind = FileKind::Missing;
    // The device and the inode on POSIX systems; the volume's serial number
    // and the file index on Windows. Set for regular files only.
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
};

// The identity of the file that `utf8Name` names, symbolic links followed.
FileIdentity IdentifyFile(const std::string& utf8Name);

// Whether `a` and `b` are one and the same regular file.
bool SameRegularFile(const FileIdentity& a, const FileIdentity& b);
