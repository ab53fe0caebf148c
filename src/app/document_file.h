// Writing the embedded document to "cv.html" without destroying anyone's file.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr const char* documentFileName = "cv.html";

// The mark that the document carries near its start: a file that holds it within its first
// documentMarkWindow bytes is taken for one this program wrote, in any version.
inline constexpr const char* documentMark = "<meta name=\"generator\" content=\"varnock\">";
inline constexpr std::size_t documentMarkWindow = 4096;

// Puts the embedded document at `path`. Results: 1 the file cannot be created or read (the
// caller reports "can't write cv.html"); 0 written, already current, or left alone because it
// is not a file this program wrote.
std::int32_t writeDocumentFile(const char* path);
