// Starts the built mstexport program without waiting for it, so that a test
// can watch it, signal it or run several at once. POSIX systems only.
#pragma once

#ifndef _WIN32

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

// Starts the program with `directory` as its working directory and
// `arguments` as they are, its standard output discarded and its standard
// error written to `stderrPath`. SIGINT, SIGTERM and SIGHUP are at their
// defaults in it, whatever the test inherited.
pid_t StartExport(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                  const std::filesystem::path& stderrPath);

// Waits at most `seconds` for the program to end. Returns its exit status, or
// 128 + the signal that ended it; -1 when it had not ended by then, and was
// killed.
int WaitForExport(pid_t pid, double seconds);

#endif
