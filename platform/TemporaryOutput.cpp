#include "TemporaryOutput.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Files.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace {

// A name already taken is tried again with the next number; this many
// leftovers of runs that were killed outright are more than any folder holds.
constexpr int kAttempts = 1000;

// The name that `path` leads to, link after link; `path` itself when it is no
// link. A link that leads nowhere gives the name where the file would be.
fs::path FollowLinks(fs::path path) {
    for (int hop = 0; hop < 40; ++hop) {  // as many as the systems themselves follow
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) {
            break;
        }
        fs::path to = fs::read_symlink(path, error);
        if (error) {
            break;
        }
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    return path;
}

// The temporary file's name beside `target`: hidden where a leading dot hides
// it, and made unique by the process and the attempt, so that two runs never
// write to one file.
fs::path TemporaryName(const fs::path& target, unsigned long process, int attempt) {
    std::string name = Utf8OfPath(target.filename());
    // A name may have 255 bytes: a long one is shortened to leave room for the
    // rest, and cut between two UTF-8 characters.
    constexpr std::size_t kKept = 64;
    if (name.size() > kKept) {
        std::size_t cut = kKept;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    return target.parent_path() / PathOfUtf8("." + name + ".mstexport-" + std::to_string(process) +
                                             "-" + std::to_string(attempt) + ".tmp");
}

// What the interruption handler needs, set before it can run: it may use
// nothing that allocates or locks.
char messageOnInterrupt[1024];
std::size_t messageOnInterruptLength = 0;

// A message too long for the room is cut, and still ends its line.
void SetMessageOnInterrupt(const std::string& message) {
    messageOnInterruptLength = std::min(message.size(), sizeof messageOnInterrupt);
    std::memcpy(messageOnInterrupt, message.data(), messageOnInterruptLength);
    if (messageOnInterruptLength < message.size()) {
        messageOnInterrupt[messageOnInterruptLength - 1] = '\n';
    }
}

#ifdef _WIN32

wchar_t temporaryPath[32768];  // the longest path Windows has, and its zero
// Set while there is a temporary file to remove. The console's handler runs
// on a thread of its own: whichever side takes the flag does the removing.
std::atomic<bool> armed{false};

BOOL WINAPI RemoveAndEnd(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (armed.exchange(false)) {
        // The file was opened with FILE_SHARE_DELETE: it goes as the process
        // ends and closes it.
        (void)DeleteFileW(temporaryPath);
        DWORD written = 0;
        (void)WriteFile(GetStdHandle(STD_ERROR_HANDLE), messageOnInterrupt,
                        static_cast<DWORD>(messageOnInterruptLength), &written, nullptr);
    }
    ExitProcess(130);
}

void Arm() {
    armed = true;
    (void)SetConsoleCtrlHandler(RemoveAndEnd, TRUE);
}

// When the handler has taken the file first, it is ending the program: the
// caller waits for that.
void Disarm() {
    if (!armed.exchange(false)) {
        for (;;) {
            Sleep(INFINITE);
        }
    }
    (void)SetConsoleCtrlHandler(RemoveAndEnd, FALSE);
}

// The system's reason for a failed call, in the words the C library uses for
// the same errors elsewhere in the program's messages.
std::string WindowsReason(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "in use by another program";
        case ERROR_ACCESS_DENIED:
            return std::strerror(EACCES);
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return std::strerror(ENOENT);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::strerror(ENOSPC);
        case ERROR_WRITE_PROTECT:
            return std::strerror(EROFS);
        case ERROR_FILENAME_EXCED_RANGE:
            return std::strerror(ENAMETOOLONG);
        default:
            return "Windows error " + std::to_string(error);
    }
}

#else

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

char temporaryPath[4096 + 1];  // the longest path name the system takes, and its zero
volatile std::sig_atomic_t armed = 0;
struct sigaction previousActions[kSignalCount];
bool replaced[kSignalCount];

// unlink, write and _exit are safe in a signal handler.
void RemoveAndEnd(int number) {
    if (armed != 0) {
        (void)unlink(temporaryPath);
        if (write(STDERR_FILENO, messageOnInterrupt, messageOnInterruptLength) < 0) {
            // Nothing more can be said: the status says the rest.
        }
    }
    _exit(128 + number);
}

// Holds the ending signals back while it lives, so that the handler never
// sees a file half created, half renamed or its own state half set.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld() {
        sigset_t held;
        (void)sigemptyset(&held);
        for (const int number : kEndingSignals) {
            (void)sigaddset(&held, number);
        }
        (void)sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~EndingSignalsHeld() { (void)sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

// A signal that was ignored when the program started (a run under nohup, or
// in the background of a script) stays ignored.
void Arm() {
    armed = 1;
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        struct sigaction action {};
        action.sa_handler = RemoveAndEnd;
        (void)sigfillset(&action.sa_mask);
        struct sigaction& previous = previousActions[i];
        replaced[i] = sigaction(kEndingSignals[i], nullptr, &previous) == 0 &&
                      ((previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_IGN) &&
                      sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void Disarm() {
    armed = 0;
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        if (replaced[i]) {
            (void)sigaction(kEndingSignals[i], &previousActions[i], nullptr);
            replaced[i] = false;
        }
    }
}

#endif

}  // namespace

TemporaryOutput::~TemporaryOutput() {
    Discard();
}

#ifdef _WIN32

std::FILE* TemporaryOutput::Create(const std::string& utf8Target,
                                   const std::string& interruptMessage, std::string& reason) {
    if (!temporary_.empty()) {
        reason = "a temporary output is open already";
        return nullptr;
    }
    const fs::path target = FollowLinks(PathOfUtf8(utf8Target));
    // A file made read-only stays as it is, as it would if it were opened for
    // writing; renaming over it would replace it all the same.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        reason = std::strerror(EACCES);
        return nullptr;
    }
    SetMessageOnInterrupt(interruptMessage);
    const auto process = static_cast<unsigned long>(GetCurrentProcessId());
    HANDLE handle = INVALID_HANDLE_VALUE;
    fs::path name;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
        name = TemporaryName(target, process, attempt);
        if (name.native().size() >= sizeof temporaryPath / sizeof temporaryPath[0]) {
            reason = std::strerror(ENAMETOOLONG);
            return nullptr;
        }
        // Others may read it and, for the interruption handler's sake, delete
        // it while it is open.
        handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (handle == INVALID_HANDLE_VALUE &&
            ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) ||
             attempt + 1 == kAttempts)) {
            reason = WindowsReason(error);
            return nullptr;
        }
    }
    std::memcpy(temporaryPath, name.c_str(), (name.native().size() + 1) * sizeof(wchar_t));
    temporary_ = Utf8OfPath(name);
    target_ = Utf8OfPath(target);
    Arm();
    const int descriptor =
        _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        reason = SystemReason(errno);
        (void)CloseHandle(handle);
        Discard();
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        reason = SystemReason(errno);
        (void)_close(descriptor);
        Discard();
    }
    return file;
}

bool TemporaryOutput::Commit(std::string& reason) {
    if (temporary_.empty()) {
        reason = "nothing to rename";
        return false;
    }
    // Still armed: an interruption meanwhile removes the file before or
    // after it is renamed, and either way the output is whole.
    const std::wstring from = PathOfUtf8(temporary_).native();
    const bool renamed =
        MoveFileExW(from.c_str(), PathOfUtf8(target_).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    const DWORD error = renamed ? 0 : GetLastError();
    Disarm();
    if (!renamed) {
        reason = WindowsReason(error);
        (void)DeleteFileW(from.c_str());
    }
    temporary_.clear();
    return renamed;
}

void TemporaryOutput::Discard() {
    if (temporary_.empty()) {
        return;
    }
    (void)DeleteFileW(PathOfUtf8(temporary_).c_str());
    Disarm();
    temporary_.clear();
}

#else

namespace {

// Renaming over an earlier output makes ext4 write the new file's blocks out
// there and then (its guard for programs that replace files without syncing
// them), which costs a third as much as the whole export. Swapping the two
// names does not, and keeps the change of name atomic; the earlier output,
// now under the temporary name, is removed after the swap.
bool IntoPlace(const char* temporary, const char* target) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    struct stat existing {};
    if (stat(target, &existing) == 0 && S_ISREG(existing.st_mode) &&
        renameat2(AT_FDCWD, temporary, AT_FDCWD, target, RENAME_EXCHANGE) == 0) {
        (void)unlink(temporary);
        return true;
    }
#endif
    return std::rename(temporary, target) == 0;
}

}  // namespace

std::FILE* TemporaryOutput::Create(const std::string& utf8Target,
                                   const std::string& interruptMessage, std::string& reason) {
    if (!temporary_.empty()) {
        reason = "a temporary output is open already";
        return nullptr;
    }
    const std::string target = Utf8OfPath(FollowLinks(PathOfUtf8(utf8Target)));
    struct stat existing {};
    const bool replacing = stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    // A file the user may not write stays as it is, as it would if it were
    // opened for writing; renaming over it would replace it all the same.
    if (replacing && access(target.c_str(), W_OK) != 0) {
        reason = SystemReason(errno);
        return nullptr;
    }
    SetMessageOnInterrupt(interruptMessage);
    const auto process = static_cast<unsigned long>(getpid());
    const EndingSignalsHeld held;
    int descriptor = -1;
    std::string name;
    for (int attempt = 0; descriptor < 0; ++attempt) {
        name = Utf8OfPath(TemporaryName(PathOfUtf8(target), process, attempt));
        if (name.size() >= sizeof temporaryPath) {
            reason = SystemReason(ENAMETOOLONG);
            return nullptr;
        }
        // 0666 less the umask, as for any file the user's programs create.
        descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && (errno != EEXIST || attempt + 1 == kAttempts)) {
            reason = SystemReason(errno);
            return nullptr;
        }
    }
    if (replacing) {
        // As the file would keep it if it were written over.
        (void)fchmod(descriptor, existing.st_mode & 0777);
    }
    std::memcpy(temporaryPath, name.c_str(), name.size() + 1);
    temporary_ = name;
    target_ = target;
    Arm();
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        reason = SystemReason(errno);
        (void)close(descriptor);
        Discard();
    }
    return file;
}

bool TemporaryOutput::Commit(std::string& reason) {
    if (temporary_.empty()) {
        reason = "nothing to rename";
        return false;
    }
    const EndingSignalsHeld held;
    const bool renamed = IntoPlace(temporary_.c_str(), target_.c_str());
    if (!renamed) {
        reason = SystemReason(errno);
        (void)unlink(temporary_.c_str());
    }
    Disarm();
    temporary_.clear();
    return renamed;
}

void TemporaryOutput::Discard() {
    if (temporary_.empty()) {
        return;
    }
    const EndingSignalsHeld held;
    (void)unlink(temporary_.c_str());
    Disarm();
    temporary_.clear();
}

#endif
