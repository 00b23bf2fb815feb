#include "Files.hpp"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h comes before shellapi.h.
#include <shellapi.h>
#endif

namespace {

#ifdef _WIN32
std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), count);
    return wide;
}

std::string Narrow(const wchar_t* wide) {
    const int count = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (count <= 1) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), count, nullptr, nullptr);
    utf8.pop_back();  // the terminating zero
    return utf8;
}
#endif

}  // namespace

std::string SystemReason(int error) {
#ifdef _WIN32
    // Another program holds the file and does not share it: the C library
    // calls that "Permission denied", which sends the user the wrong way.
    if (error == EACCES && GetLastError() == ERROR_SHARING_VIOLATION) {
        return "in use by another program";
    }
#endif
    return error != 0 ? std::strerror(error) : "unknown error";
}

std::FILE* OpenFile(const std::string& utf8Name, const char* mode, std::string& reason) {
    errno = 0;
#ifdef _WIN32
    SetLastError(0);
    std::FILE* file = _wfopen(Widen(utf8Name).c_str(), Widen(mode).c_str());
#else
    std::FILE* file = std::fopen(utf8Name.c_str(), mode);
#endif
    if (file == nullptr) {
        reason = SystemReason(errno);
    }
    return file;
}

void SetBinaryMode([[maybe_unused]] std::FILE* stream) {
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    (void)argv;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            arguments.push_back(Narrow(wide[i]));
        }
        LocalFree(wide);
        return arguments;
    }
#endif
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return arguments;
}

std::filesystem::path PathOfUtf8(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(Widen(utf8));
#else
    return std::filesystem::path(utf8);
#endif
}

std::string Utf8OfPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return Narrow(path.c_str());
#else
    return path.string();
#endif
}
