// Writing the embedded document to "cv.html" without destroying anyone's file.
#pragma once

#include <cstdint>

inline constexpr const char* documentFileName = "cv.html";

// Puts the embedded document at `path`. Results: 1 the file cannot be created or read (the
// caller reports "can't write cv.html"); 0 written, already current, or left alone because it
// is not a file this program wrote.
std::int32_t writeDocumentFile(const char* path);
