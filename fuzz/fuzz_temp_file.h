// A scratch file for a fuzz target: made once per process in the temporary folder, removed at
// exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz_check.h"

namespace fuzzsupport {

struct TempFile {
    std::string path;
    explicit TempFile(const char* stem) {
        const char* folder = std::getenv("TMPDIR");
        path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/" + stem +
               "-XXXXXX";
        const int fd = mkstemp(path.data());
        FUZZ_CHECK(fd >= 0);
        close(fd);
    }
    ~TempFile() { unlink(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
};

}  // namespace fuzzsupport
