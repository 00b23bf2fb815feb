// The little the program asks of the platform beyond standard C++: files
// opened by UTF-8 names, binary standard output, the command line as UTF-8,
// and the system's reason when a file cannot be used.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Opens the file named `utf8Name` with fopen's `mode`. On failure returns
// nullptr and puts the system's reason into `reason`.
std::FILE* OpenFile(const std::string& utf8Name, const char* mode, std::string& reason);

// The system's reason for the error number `error`, as the last failed call
// left it.
std::string SystemReason(int error);

// Writes `stream` byte for byte: no carriage return is added on Windows.
void SetBinaryMode(std::FILE* stream);

// The program's arguments as UTF-8, its own name left out. Windows hands them
// over in the system's code page unless they are asked for in UTF-16.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

std::filesystem::path PathOfUtf8(const std::string& utf8);
std::string Utf8OfPath(const std::filesystem::path& path);
