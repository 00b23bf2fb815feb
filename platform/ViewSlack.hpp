// How far past a view of a file's buffers bytes may be read.
#pragma once

#include <cstddef>

// The bytes after a view of an InputFile that may be read, whatever they
// hold: the buffers have room beyond what they hold, so that what is viewed
// can be copied and tested in whole blocks (see FieldValue).
constexpr std::size_t kViewSlack = 64;
