// mstexport_peak_memory PEAKFILE PROGRAM [ARGUMENT...]
//
// Runs PROGRAM with its arguments, writes its peak resident memory in KiB
// into PEAKFILE and exits with its exit status. A process that forks the
// program must be small itself: on Linux a child's peak includes the memory
// it was forked from, and the tests that start the program hold large
// databases. Linux only.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        (void)std::fputs("usage: mstexport_peak_memory PEAKFILE PROGRAM [ARGUMENT...]\n", stderr);
        return 125;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 125;
    }
    if (child == 0) {
        execv(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        return 125;
    }
    std::FILE* peak = std::fopen(argv[1], "w");
    if (peak == nullptr || std::fprintf(peak, "%ld\n", usage.ru_maxrss) < 0 ||
        std::fclose(peak) != 0) {
        std::perror(argv[1]);
        return 125;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
