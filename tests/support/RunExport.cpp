#include "RunExport.hpp"

#include <cstdlib>
#include <stdexcept>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"

#ifdef _WIN32
#include <windows.h>

#include "platform/Files.hpp"
#else
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>
#endif

namespace {

// Restores the test's working directory however the run ends.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& to)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(to);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous_); }

  private:
    std::filesystem::path previous_;
};

#ifndef _WIN32
int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif

}  // namespace

#ifdef _WIN32

namespace {

// One argument as the C runtime splits a command line back into arguments:
// in quotes, with the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {
        if (handle_ == INVALID_HANDLE_VALUE) {
            throw std::runtime_error("cannot open a file for the program's console");
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { CloseHandle(handle_); }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

Handle Inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return Handle(CreateFileW(PathOfUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &attributes, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The program is started directly, not through cmd.exe: under wine on a
// loaded machine, cmd.exe now and then reported the program it had just
// started for other tests as not found, and the test blamed the program. A
// start that fails is tried again for the same reason.
int RunProgram(const std::vector<std::string>& arguments, const std::string& stdoutPath,
               const std::string& stderrPath) {
    const std::string program = MSTEXPORT_PROGRAM;
    std::wstring line = Quoted(PathOfUtf8(program).make_preferred().wstring());
    for (const std::string& argument : arguments) {
        line += L" " + Quoted(PathOfUtf8(argument).wstring());
    }
    const Handle input = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    const Handle output = Inheritable(stdoutPath, GENERIC_WRITE, CREATE_ALWAYS);
    const Handle errors = Inheritable(stderrPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errors.get();
    PROCESS_INFORMATION process{};
    for (int attempt = 1; !CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &process);
         ++attempt) {
        if (attempt == 3) {
            throw std::runtime_error("cannot start " + program + ": error " +
                                     std::to_string(GetLastError()));
        }
        Sleep(1000);
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

}  // namespace

#endif

ExportRun RunExport(const std::filesystem::path& directory,
                    const std::vector<std::string>& arguments, const std::string& wrapper) {
    const auto absolute = std::filesystem::absolute(directory);
    const TempDir console;
    const auto stdoutPath = (console.path() / "stdout").string();
    const auto stderrPath = (console.path() / "stderr").string();
    ExportRun run;
    {
        WorkingDirectory inside(absolute);
#ifdef _WIN32
        static_cast<void>(wrapper);
        run.exitCode = RunProgram(arguments, stdoutPath, stderrPath);
#else
        std::string command = MSTEXPORT_PROGRAM_LAUNCHER + wrapper + "\"" MSTEXPORT_PROGRAM "\"";
        for (const std::string& argument : arguments) {
            command += " \"" + argument + "\"";
        }
        command += " > \"" + stdoutPath + "\" 2> \"" + stderrPath + "\"";
        run.exitCode = ExitCodeOf(std::system(command.c_str()));
#endif
    }
    run.stdoutText = ReadFile(stdoutPath);
    run.stderrText = AsText(ReadFile(stderrPath));
    const auto outputPath = absolute / "formatirani_izlaz.txt";
    run.outputExists = std::filesystem::is_regular_file(outputPath);
    if (run.outputExists) {
        run.output = ReadFile(outputPath);
    }
    return run;
}

std::string AsText(const std::string& written) {
#ifdef _WIN32
    std::string text;
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (!(written[i] == '\r' && i + 1 < written.size() && written[i + 1] == '\n')) {
            text += written[i];
        }
    }
    return text;
#else
    return written;
#endif
}

#ifndef _WIN32

pid_t StartExport(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                  const std::filesystem::path& stderrPath) {
    // The shell execs the launcher (an emulator), if any, and the program, so
    // that the pid is the program's.
    std::string command = "cd \"" + directory.string() +
                          "\" && exec " MSTEXPORT_PROGRAM_LAUNCHER "\"" MSTEXPORT_PROGRAM "\"";
    for (const std::string& argument : arguments) {
        command += " \"" + argument + "\"";
    }
    command += " > /dev/null 2> \"" + stderrPath.string() + "\"";
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(126);
    }
    return pid;
}

int WaitForExport(pid_t pid, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif
