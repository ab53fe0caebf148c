// Writing "cv.html" without destroying anyone's file.
//
// What happens to the name, decided once:
// - Nothing there: the file is created with O_CREAT | O_EXCL, so a file that appears in the
//   meantime is never truncated; the open then fails with EEXIST and that file is inspected.
// - A symbolic link (to anything, dangling too), a FIFO, a device or a socket: left alone,
//   result 0. lstat answers before anything is opened, so no device is opened in the usual
//   case; the later open uses O_NOFOLLOW, O_NONBLOCK and O_NOCTTY and fstat checks the opened
//   file, so a link or FIFO slipped in between is neither followed nor waited on.
// - A directory: result 1, the caller's "can't write cv.html".
// - A regular file: only its first documentMarkWindow bytes are read, never more, so a huge
//   file costs one small read. Without the mark there it is someone else's file (an empty
//   file included): left alone, result 0. With the mark it is ours: when its size equals the
//   document's the whole file is read and compared, and a file already equal to the document
//   is not written at all (its time stamp stays). Otherwise the document is written over it.
// - Cannot be created (no write permission on the folder, read-only file system, missing
//   folder) or cannot be opened or read: result 1.
// - Our own file that can be read but not opened for writing: result 1 when it is out of date
//   (the program cannot put its document there), 0 when it is already current.
//
// Replacing our file: the document is written through the descriptor that was inspected, at
// offset 0, then the file is cut to the document's length. The descriptor names the very file
// whose mark was read, so a file renamed onto "cv.html" after the check is never touched; a
// temporary file renamed over the name would instead replace whatever sits there at that
// moment. Writing in place also keeps the file's owner, mode and links. Writing before
// cutting means the file is never empty and its start (with the mark) comes first, so a run
// interrupted half-way leaves a file that the next run still recognises and repairs.
//
// Write failures on the document (a full disk) are ignored: the run goes on as if it had been
// written, and a full disk shows up in the conversion's own checked writes. A file that a full
// disk left empty carries no mark and is then left alone, like any other, until it is removed.
// A name that keeps vanishing and reappearing between the steps gives result 1 after a few
// attempts.
#include "app/document_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/embedded_document.h"

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

void writeAllAt(int fd, const char* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t done = pwrite(fd, data, size, offset);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return;  // ignored: see the file comment
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += done;
    }
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

bool hasMark(const char* start, std::size_t size) {
    return memmem(start, size, documentMark, std::strlen(documentMark)) != nullptr;
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

std::int32_t createDocument(const char* path, const DocumentBytes& document) {
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? lookAgain : cannotWrite;
    writeAllAt(fd, document.data, document.size, 0);
    close(fd);
    return 0;
}

// Opens an existing name without following a link or waiting on a FIFO; read-write when the
// file allows it. Returns the descriptor, or lookAgain / leftAlone / cannotWrite as a negative
// code in *outcome.
int openExisting(const char* path, bool* writable, std::int32_t* outcome) {
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    *writable = true;
    int fd = open(path, O_RDWR | flags);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)) {
        *writable = false;
        fd = open(path, O_RDONLY | flags);
    }
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

std::int32_t updateExisting(const char* path, const DocumentBytes& document) {
    bool writable = true;
    std::int32_t outcome = cannotWrite;
    const int fd = openExisting(path, &writable, &outcome);
    if (fd < 0) return outcome;
    struct stat info {};
    char start[documentMarkWindow];
    ssize_t got = 0;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        outcome = cannotWrite;
    } else if (!S_ISREG(info.st_mode)) {
        outcome = leftAlone;
    } else if ((got = readStart(fd, start, sizeof start)) < 0) {
        outcome = cannotWrite;
    } else if (!hasMark(start, static_cast<std::size_t>(got))) {
        outcome = leftAlone;  // someone else's file
    } else if (isCurrent(fd, info.st_size, document)) {
        outcome = 0;
    } else if (!writable) {
        outcome = cannotWrite;
    } else {
        writeAllAt(fd, document.data, document.size, 0);
        [[maybe_unused]] const int cut = ftruncate(fd, static_cast<off_t>(document.size));
        outcome = 0;
    }
    close(fd);
    return outcome;
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
