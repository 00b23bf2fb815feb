#include "FileIdentity.hpp"

#ifdef _WIN32
#include <windows.h>

#include "Files.hpp"
#else
#include <sys/stat.h>

#include <cerrno>
#endif

#ifdef _WIN32

FileIdentity IdentifyFile(const std::string& utf8Name) {
    FileIdentity identity;
    // No access asked for and every sharing mode allowed: the file is only
    // looked at, whoever holds it. Folders open only with backup semantics.
    const HANDLE handle = CreateFileW(PathOfUtf8(utf8Name).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        identity.kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                            ? FileKind::Missing
                            : FileKind::Unknown;
        return identity;
    }
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK: {
            BY_HANDLE_FILE_INFORMATION information;
            if (GetFileInformationByHandle(handle, &information) == 0) {
                identity.kind = FileKind::Unknown;
            } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                identity.kind = FileKind::Directory;
            } else {
                identity.kind = FileKind::Regular;
                identity.volume = information.dwVolumeSerialNumber;
                identity.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                                 information.nFileIndexLow;
            }
            break;
        }
        case FILE_TYPE_PIPE:
            identity.kind = FileKind::Pipe;
            break;
        case FILE_TYPE_CHAR:
            identity.kind = FileKind::Device;
            break;
        default:
            identity.kind = FileKind::Other;
            break;
    }
    CloseHandle(handle);
    return identity;
}

#else

FileIdentity IdentifyFile(const std::string& utf8Name) {
    FileIdentity identity;
    struct stat status {};
    if (stat(utf8Name.c_str(), &status) != 0) {
        identity.kind = errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Unknown;
        return identity;
    }
    if (S_ISREG(status.st_mode)) {
        identity.kind = FileKind::Regular;
        identity.volume = static_cast<std::uint64_t>(status.st_dev);
        identity.index = static_cast<std::uint64_t>(status.st_ino);
    } else if (S_ISDIR(status.st_mode)) {
        identity.kind = FileKind::Directory;
    } else if (S_ISFIFO(status.st_mode)) {
        identity.kind = FileKind::Pipe;
    } else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        identity.kind = FileKind::Device;
    } else {
        identity.kind = FileKind::Other;
    }
    return identity;
}

#endif

bool SameRegularFile(const FileIdentity& a, const FileIdentity& b) {
    return a.kind == FileKind::Regular && b.kind == FileKind::Regular && a.volume == b.volume &&
           a.index == b.index;
}
