#include "RunExport.hpp"

#include <cstdlib>
#include <stdexcept>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"

#ifdef _WIN32
#include <windows.h>
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

int ExitCodeOf(int status) {
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

}  // namespace

ExportRun RunExport(const std::filesystem::path& directory,
                    const std::vector<std::string>& arguments, const std::string& wrapper) {
    const auto absolute = std::filesystem::absolute(directory);
    const TempDir console;
    const auto stdoutPath = (console.path() / "stdout").string();
    const auto stderrPath = (console.path() / "stderr").string();
    std::string command = MSTEXPORT_PROGRAM_LAUNCHER + wrapper + "\"" MSTEXPORT_PROGRAM "\"";
    for (const std::string& argument : arguments) {
        command += " \"" + argument + "\"";
    }
    command += " > \"" + stdoutPath + "\" 2> \"" + stderrPath + "\"";
    ExportRun run;
    {
        WorkingDirectory inside(absolute);
#ifdef _WIN32
        // cmd.exe /c drops the first and the last quote of a line that holds
        // more than two; the extra pair keeps the program's path quoted. The
        // line goes over in UTF-16, so that any name reaches the program.
        const std::string line = "\"" + command + "\"";
        std::wstring wide(line.size() + 1, L'\0');
        wide.resize(
            static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(),
                                                         static_cast<int>(wide.size())) -
                                     1));
        run.exitCode = ExitCodeOf(_wsystem(wide.c_str()));
#else
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
