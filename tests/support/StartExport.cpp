#include "StartExport.hpp"

#ifndef _WIN32

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

pid_t StartExport(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                  const std::filesystem::path& stderrPath) {
    // The shell execs the launcher (an emulator), if any, and the program, so
    // that the pid is the program's.
    std::vector<std::string> words{"sh", "-c", "exec " MSTEXPORT_PROGRAM_LAUNCHER "\"$0\" \"$@\"",
                                   MSTEXPORT_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string folder = directory.string();
    const std::string errors = stderrPath.string();
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // The child: only calls that are safe after fork.
    const int stderrFile = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int nothing = open("/dev/null", O_WRONLY);
    if (stderrFile < 0 || nothing < 0 || chdir(folder.c_str()) != 0 ||
        dup2(stderrFile, STDERR_FILENO) < 0 || dup2(nothing, STDOUT_FILENO) < 0) {
        _exit(125);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    execv("/bin/sh", argv.data());
    _exit(126);
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
