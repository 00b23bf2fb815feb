// An output written under a temporary name in the folder of its final one,
// and renamed over that name only once it is whole: the final name holds the
// earlier file or the new one, never a part of either, however the run ends
// and however many runs write to it at once.
//
// Until then, an interruption (Ctrl-C, SIGTERM or SIGHUP; Ctrl-C, Ctrl-Break
// or a closed console window on Windows) removes the temporary file, says so
// and ends the program at once, with the status 128 + the signal's number
// (130 on Windows).
#pragma once

#include <cstdio>
#include <string>

class TemporaryOutput {
  public:
    TemporaryOutput() = default;
    // Removes the temporary file unless it was committed.
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Creates a new, empty temporary file for `utf8Target` beside the file
    // that the name leads to through any symbolic links, so that a link keeps
    // leading to the new file. It gets the mode of the file it is to replace,
    // or, when there is none, the mode any new file gets (0666 less the
    // umask). From now until Commit or Discard, an interruption prints
    // `interruptMessage` on standard error. Returns the file, opened for
    // writing in binary, or nullptr with the system's reason in `reason`.
    // There is one temporary output at a time.
    std::FILE* Create(const std::string& utf8Target, const std::string& interruptMessage,
                      std::string& reason);

    // Renames the temporary file, which the caller has closed, over the
    // target. On failure removes it instead, so that the target stays as it
    // was, and returns false with the system's reason.
    bool Commit(std::string& reason);

    // Removes the temporary file, which the caller has closed.
    void Discard();

  private:
    std::string temporary_;
    std::string target_;
};
