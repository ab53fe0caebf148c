// Output files written in one go: exclusive creation tells a new file from an existing one, so
// that a failed write removes only what this program made.
#include "util/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

OutputFile openOutputFile(const char* path) {
    OutputFile output;
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) output.stream = std::fopen(path, "wb");
        return output;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || (output.stream = fdopen(fd, "wb")) == nullptr) {
        close(fd);
        unlink(path);
        return output;
    }
    output.created = true;
    output.device = info.st_dev;
    output.inode = info.st_ino;
    return output;
}

namespace {

void removeCreatedFile(const OutputFile& output, const char* path) {
    if (!output.created) return;
    struct stat info {};
    if (lstat(path, &info) != 0) return;
    if (!S_ISREG(info.st_mode) || info.st_dev != output.device || info.st_ino != output.inode) {
        return;
    }
    unlink(path);
}

}  // namespace

std::int32_t closeOutputFile(OutputFile* output, const char* path) {
    const bool writeFailed = std::ferror(output->stream) != 0;
    const bool flushFailed = std::fflush(output->stream) != 0;
    const bool closeFailed = std::fclose(output->stream) != 0;
    output->stream = nullptr;
    if (!writeFailed && !flushFailed && !closeFailed) return 0;
    removeCreatedFile(*output, path);
    return 1;
}
