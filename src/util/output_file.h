// Opening an output file for a one-go write, and closing it with every failure reported.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>

// An output opened for writing bytes ("wb": created, or emptied when it exists), whether this
// call created it, and the identity of the file it created.
struct OutputFile {
    std::FILE* stream = nullptr;
    bool created = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Opens `path` for writing bytes. A null stream means it cannot be opened (nothing created).
OutputFile openOutputFile(const char* path);

// Flushes and closes the stream. Results: 1 a write, the flush or the close failed, and a file
// this open created is removed (only while the path still names that same regular file);
// 0 written.
std::int32_t closeOutputFile(OutputFile* output, const char* path);
