// Writing "cv.html" without destroying anyone's file.
//
// What happens to the name, decided once:
// - Nothing there: the whole page is written to a new file beside it (see openUnfinishedFile),
//   readable by its owner alone until it is complete and given 0666 less the umask, which is
//   then hard-linked to the name and unlinked. link never replaces a file that
//   appeared in the meantime (EEXIST: that file is inspected instead), and a write that fails
//   (a full disk) leaves no file at all: the page is there whole or not at all. Where the file
//   system has no hard links, the name is taken with O_CREAT | O_EXCL and the complete new
//   file renamed over that empty file of ours.
// - A symbolic link (to anything, dangling too), a FIFO, a device or a socket: left alone,
//   result 0. lstat answers before anything is opened; the later opens use O_NOFOLLOW,
//   O_NONBLOCK and O_NOCTTY and fstat checks the opened file.
// - A directory: result 1, the caller's "can't write cv.html".
// - A regular file: opened for reading only, and its first documentPrefixSize bytes read. A
//   file that does not begin with documentPrefix is someone else's (an empty one included):
//   left alone, result 0, never opened for writing. A file of ours already equal to the
//   document is not written at all (its time stamp stays). Otherwise it is opened for writing,
//   checked to be the very file that was read (device and inode), and the document written
//   over it.
// - Cannot be created (no write permission on the folder, read-only file system, missing
//   folder) or cannot be opened or read: result 1.
// - Our own file that can be read but not opened for writing: result 1 when it is out of date
//   (the program cannot put its document there), 0 when it is already current.
//
// Replacing our file: the document is written at offset 0, then the file is cut to the
// document's length. Writing in place keeps the file's owner, mode and links. Every page
// begins with documentPrefix, so the start of the file stays the same bytes throughout, and a
// run interrupted half-way leaves a file that the next run still recognises and repairs.
//
// Write failures on the document (a full disk) are ignored: the run goes on as if it had been
// written, and a full disk shows up in the conversion's own checked writes. A name that keeps
// vanishing and reappearing between the steps gives result 1 after a few attempts.
#include "app/document_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/embedded_document.h"
#include "util/output_file.h"

namespace {

// How often a name that vanishes or appears between two steps is looked at again.
constexpr int maxAttempts = 4;

constexpr std::int32_t leftAlone = 0;
constexpr std::int32_t cannotWrite = 1;
constexpr std::int32_t lookAgain = -1;

// The expanded document in a heap block.
struct DocumentBytes {
    char* data = nullptr;
    std::size_t size = 0;
};

bool expandDocument(DocumentBytes* document) {
    std::FILE* stream = open_memstream(&document->data, &document->size);
    if (stream == nullptr) return false;
    writeEmbeddedDocument(embeddedDocument, stream);
    return std::fclose(stream) == 0 && document->data != nullptr;
}

// True when every byte was written.
bool writeAllAt(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t done = pwrite(fd, data, size, offset);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

// Reads up to `size` bytes from offset 0; returns the count read or -1 on a read error.
ssize_t readStart(int fd, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t done = pread(fd, buffer + got, size - got, static_cast<off_t>(got));
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) return -1;
        if (done == 0) break;
        got += static_cast<std::size_t>(done);
    }
    return static_cast<ssize_t>(got);
}

// True when the first `got` bytes read from a file (-1: a read error) begin with documentPrefix.
bool isOurs(const char* start, ssize_t got) {
    return got == static_cast<ssize_t>(documentPrefixSize) &&
           std::memcmp(start, documentPrefix, documentPrefixSize) == 0;
}

// True when the file holds exactly the document. Reads the file only when the sizes match.
bool isCurrent(int fd, off_t fileSize, const DocumentBytes& document) {
    if (fileSize < 0 || static_cast<std::size_t>(fileSize) != document.size) return false;
    char* contents = static_cast<char*>(std::malloc(document.size + 1));
    if (contents == nullptr) return false;
    const ssize_t got = readStart(fd, contents, document.size + 1);
    const bool same = got >= 0 && static_cast<std::size_t>(got) == document.size &&
                      std::memcmp(contents, document.data, document.size) == 0;
    std::free(contents);
    return same;
}

// Puts the complete new file `name` at `path` without replacing anything there.
std::int32_t linkIntoPlace(const char* name, const char* path) {
    if (link(name, path) == 0) return 0;
    if (errno == EEXIST) return lookAgain;
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? lookAgain : 0;
    close(fd);
    if (rename(name, path) != 0) unlink(path);
    return 0;
}

std::int32_t createDocument(const char* path, const DocumentBytes& document) {
    sigset_t saved;
    holdInterrupts(&saved);
    char* name = nullptr;
    const int fd = openUnfinishedFile(AT_FDCWD, path, &name);
    std::int32_t outcome = cannotWrite;
    if (fd >= 0) {
        const bool written =
            writeAllAt(fd, document.data, document.size, 0) && fchmod(fd, newFileMode()) == 0;
        outcome = close(fd) == 0 && written ? linkIntoPlace(name, path) : 0;
        unlink(name);
    }
    std::free(name);
    releaseInterrupts(&saved);
    return outcome;
}

// Opens an existing name for reading without following a link or waiting on a FIFO. Returns
// the descriptor, or -1 with lookAgain / leftAlone / cannotWrite in *outcome.
int openExisting(const char* path, int access, std::int32_t* outcome) {
    const int fd = open(path, access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno == ENOENT) {
        *outcome = lookAgain;  // gone since it was seen
    } else if (errno == ELOOP || errno == ENXIO || errno == ENODEV) {
        *outcome = leftAlone;  // a link, or a special file without a reader or driver
    } else {
        *outcome = cannotWrite;  // a directory, no permission, ...
    }
    return -1;
}

// Writes the document over our file `read` describes, once `path` is checked to be it still.
std::int32_t rewriteDocument(const char* path, const struct stat& read,
                             const DocumentBytes& document) {
    std::int32_t outcome = cannotWrite;
    const int fd = openExisting(path, O_WRONLY, &outcome);
    if (fd < 0) return outcome == leftAlone ? lookAgain : outcome;
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_dev != read.st_dev || info.st_ino != read.st_ino) {
        close(fd);
        return lookAgain;  // replaced since it was read
    }
    if (writeAllAt(fd, document.data, document.size, 0)) {
        [[maybe_unused]] const int cut = ftruncate(fd, static_cast<off_t>(document.size));
    }
    close(fd);
    return 0;
}

std::int32_t updateExisting(const char* path, const DocumentBytes& document) {
    std::int32_t outcome = cannotWrite;
    const int fd = openExisting(path, O_RDONLY, &outcome);
    if (fd < 0) return outcome;
    struct stat info {};
    char start[documentPrefixSize];
    ssize_t got = 0;
    bool rewrite = false;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        outcome = cannotWrite;
    } else if (!S_ISREG(info.st_mode)) {
        outcome = leftAlone;
    } else if ((got = readStart(fd, start, sizeof start)) < 0) {
        outcome = cannotWrite;
    } else if (!isOurs(start, got)) {
        outcome = leftAlone;  // someone else's file
    } else {
        outcome = 0;
        rewrite = !isCurrent(fd, info.st_size, document);
    }
    close(fd);
    return rewrite ? rewriteDocument(path, info, document) : outcome;
}

std::int32_t placeDocument(const char* path, const DocumentBytes& document) {
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        struct stat info {};
        std::int32_t outcome = lookAgain;
        if (lstat(path, &info) != 0) {
            if (errno != ENOENT) return cannotWrite;
            outcome = createDocument(path, document);
        } else if (S_ISDIR(info.st_mode)) {
            return cannotWrite;
        } else if (!S_ISREG(info.st_mode)) {
            return leftAlone;
        } else {
            outcome = updateExisting(path, document);
        }
        if (outcome != lookAgain) return outcome;
    }
    return cannotWrite;  // the name keeps changing under us
}

}  // namespace

std::int32_t writeDocumentFile(const char* path) {
    DocumentBytes document;
    std::int32_t result = cannotWrite;
    if (expandDocument(&document)) result = placeDocument(path, document);
    std::free(document.data);
    return result;
}
