// Starts the built program without waiting for it, so that a test can signal
// it or run several at once. POSIX systems only.
#pragma once

#ifndef _WIN32

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// Starts the program in `directory` with `arguments`, its standard output
// discarded, its standard error written to `stderrPath`, and SIGINT and
// SIGTERM at their defaults whatever the test inherited.
pid_t StartExport(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                  const std::filesystem::path& stderrPath);

// Waits at most `seconds` for it to end. Returns its exit status, 128 + the
// signal that ended it, or -1 when it had to be killed.
int WaitForExport(pid_t pid, double seconds);

#endif
