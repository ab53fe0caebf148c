// Writing the embedded document to "cv.html" without destroying anyone's file.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr const char* documentFileName = "cv.html";

// The exact bytes that every page this program writes begins with, up to and including the
// line of its generator mark: a file is ours only when it begins with them. Fixed for good
// (docs/cv.html begins with them, and a test checks the packed page does): other bytes here
// would turn every page written before into a stranger's file.
inline constexpr char documentPrefix[] =
    "<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta name=\"generator\" content=\"varnock\">\n";
inline constexpr std::size_t documentPrefixSize = sizeof documentPrefix - 1;

// Puts the embedded document at `path`. Results: 1 the file cannot be created or read (the
// caller reports "can't write cv.html"); 0 written, already current, left alone because it is
// not a file this program wrote, or not written because a write failed (a full disk).
std::int32_t writeDocumentFile(const char* path);
