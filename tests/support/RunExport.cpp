#include "RunExport.hpp"

#include <cstdlib>
#include <stdexcept>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"

#ifndef _WIN32
#include <sys/wait.h>
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

ExportRun RunExport(const std::filesystem::path& directory) {
    const auto absolute = std::filesystem::absolute(directory);
    const TempDir console;
    const auto stdoutPath = (console.path() / "stdout").string();
    const auto stderrPath = (console.path() / "stderr").string();
    std::string command = MSTEXPORT_PROGRAM_LAUNCHER "\"" + std::string(MSTEXPORT_PROGRAM) +
                          "\" > \"" + stdoutPath + "\" 2> \"" + stderrPath + "\"";
#ifdef _WIN32
    // cmd.exe /c drops the first and the last quote of a line that holds more
    // than two; the extra pair keeps the program's path quoted.
    command = "\"" + command + "\"";
#endif
    ExportRun run;
    {
        WorkingDirectory inside(absolute);
        run.exitCode = ExitCodeOf(std::system(command.c_str()));
    }
    run.stdoutText = ReadFile(stdoutPath);
    run.stderrText = ReadFile(stderrPath);
    const auto outputPath = absolute / "formatirani_izlaz.txt";
    run.outputExists = std::filesystem::is_regular_file(outputPath);
    if (run.outputExists) {
        run.output = ReadFile(outputPath);
    }
    return run;
}
