// mstexport_peak_memory PEAKFILE PROGRAM [ARGUMENT...]
//
// Runs PROGRAM, writes its peak resident memory in KiB into PEAKFILE and
// exits with its exit status. A small process of its own, because on Linux a
// child's peak includes the memory of the process it was forked from, and the
// tests hold large databases. Linux only.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 125;
    }
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    std::FILE* peak = std::fopen(argv[1], "w");
    if (child < 0 || wait4(child, &status, 0, &usage) != child || peak == nullptr ||
        std::fprintf(peak, "%ld\n", usage.ru_maxrss) < 0 || std::fclose(peak) != 0) {
        return 125;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
