// Output files: a new file beside the destination, renamed over it once complete, so that a
// failure, a full disk or an interrupt leaves the old file whole; in place where that cannot be.
#include "util/output_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* unfinishedMark = ".varnock-unfinished-";
constexpr std::size_t randomLetters = 6;
constexpr int maxNameAttempts = 64;
constexpr int maxLinks = 40;  // as the kernel's own limit on a path's links

// How an output is written.
enum class Route { Replace, InPlace, Append };

std::size_t folderLength(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
}

std::uint64_t randomBits(int attempt) {
    std::uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == sizeof bits) return bits;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_nsec) * 2654435761u ^
           static_cast<std::uint64_t>(getpid()) << 32 ^ static_cast<std::uint64_t>(attempt);
}

void fillRandomLetters(char* at, int attempt) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::uint64_t bits = randomBits(attempt);
    for (std::size_t i = 0; i < randomLetters; ++i, bits >>= 5)
        at[i] = letters[bits & 31u];
}

// `folder` (its first folderSize bytes) followed by `name`, in a new heap string.
char* joinPath(const char* folder, std::size_t folderSize, const char* name, std::size_t size) {
    char* joined = static_cast<char*>(std::malloc(folderSize + size + 1));
    if (joined == nullptr) return nullptr;
    std::memcpy(joined, folder, folderSize);
    std::memcpy(joined + folderSize, name, size);
    joined[folderSize + size] = '\0';
    return joined;
}

// True when the link `path` itself lives in /proc, where links name open descriptors.
bool isProcLink(const char* path) {
    const int fd = open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct statfs info {};
    const bool inProc = fstatfs(fd, &info) == 0 && info.f_type == PROC_SUPER_MAGIC;
    close(fd);
    return inProc;
}

// Follows the symbolic links at `path`. Replace gives the name they lead to in *target (heap);
// Append a link in /proc; InPlace too many links, or no memory.
Route followLinks(const char* path, char** target) {
    char* current = strdup(path);
    for (int hop = 0; current != nullptr && hop < maxLinks; ++hop) {
        struct stat info {};
        if (lstat(current, &info) != 0 || !S_ISLNK(info.st_mode)) {
            *target = current;
            return Route::Replace;
        }
        char link[PATH_MAX];
        const ssize_t size = readlink(current, link, sizeof link);
        const bool append = isProcLink(current);
        char* next = nullptr;
        if (!append && size > 0 && static_cast<std::size_t>(size) < sizeof link) {
            const std::size_t folder = link[0] == '/' ? 0 : folderLength(current);
            next = joinPath(current, folder, link, static_cast<std::size_t>(size));
        }
        std::free(current);
        if (append) return Route::Append;
        current = next;
    }
    std::free(current);
    return Route::InPlace;
}

// True when the regular file `path` may be opened for writing, as an in-place write needs.
bool isWritable(const char* path) {
    const int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// True when SIGINT, SIGTERM or SIGHUP waits, held back, and is not ignored.
bool interruptPending() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        if (sigismember(&pending, signal) != 1) continue;
        if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler != SIG_IGN) return true;
    }
    return false;
}

// Gives the new file the old one's owner and group where allowed, then its permission bits.
void copyAttributes(int fd, const struct stat& old) {
    struct stat now {};
    if (fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            [[maybe_unused]] const int group = fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
    }
    [[maybe_unused]] const int mode = fchmod(fd, old.st_mode & 07777);
}

// Writing in place: exclusive creation tells a new file from an existing one, so that a failed
// write removes only what this program made.
OutputFile openInPlace(const char* path) {
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

// Frees the names and restores the signal mask; the new file is already renamed or removed.
void releaseUnfinished(OutputFile* output) {
    std::free(output->unfinished);
    std::free(output->target);
    output->unfinished = nullptr;
    output->target = nullptr;
    releaseInterrupts(&output->savedMask);
}

// The new file beside `target`; `old` describes the regular file it replaces, or is null.
OutputFile openReplacement(const char* path, char* target, const struct stat* old) {
    OutputFile output;
    holdInterrupts(&output.savedMask);
    output.target = target;
    const int fd = openUnfinishedFile(target, &output.unfinished);
    if (fd < 0) {
        const int error = errno;
        releaseUnfinished(&output);
        if (error == EACCES || error == EPERM || error == EROFS) return openInPlace(path);
        return output;
    }
    if (old != nullptr) copyAttributes(fd, *old);
    output.stream = fdopen(fd, "wb");
    if (output.stream == nullptr) {
        close(fd);
        unlink(output.unfinished);
        releaseUnfinished(&output);
    }
    return output;
}

void removeCreatedFile(const OutputFile& output, const char* path) {
    if (!output.created) return;
    struct stat info {};
    if (lstat(path, &info) != 0) return;
    if (!S_ISREG(info.st_mode) || info.st_dev != output.device || info.st_ino != output.inode) {
        return;
    }
    unlink(path);
}

// Closes the stream; true when a write, the flush or the close failed.
bool finishStream(OutputFile* output) {
    const bool writeFailed = std::ferror(output->stream) != 0;
    const bool flushFailed = std::fflush(output->stream) != 0;
    const bool closeFailed = std::fclose(output->stream) != 0;
    output->stream = nullptr;
    return writeFailed || flushFailed || closeFailed;
}

}  // namespace

OutputFile openOutputFile(const char* path) {
    char* target = nullptr;
    const Route route = followLinks(path, &target);
    if (route == Route::Append) return {std::fopen(path, "ab")};
    if (route == Route::InPlace) return openInPlace(path);
    struct stat old {};
    if (stat(target, &old) != 0 && errno == ENOENT) return openReplacement(path, target, nullptr);
    if (S_ISREG(old.st_mode) && isWritable(target)) return openReplacement(path, target, &old);
    std::free(target);
    return openInPlace(path);  // not a regular file (never opened twice), or not writable
}

std::int32_t closeOutputFile(OutputFile* output, const char* path) {
    const bool failed = finishStream(output);
    if (output->unfinished == nullptr) {
        if (failed) removeCreatedFile(*output, path);
        return failed ? 1 : 0;
    }
    const bool placed =
        !failed && !interruptPending() && rename(output->unfinished, output->target) == 0;
    if (!placed) unlink(output->unfinished);
    releaseUnfinished(output);
    return placed ? 0 : 1;
}

void holdInterrupts(sigset_t* saved) {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interrupts, signal);
    pthread_sigmask(SIG_BLOCK, &interrupts, saved);
}

void releaseInterrupts(const sigset_t* saved) {
    pthread_sigmask(SIG_SETMASK, saved, nullptr);
}

int openUnfinishedFile(const char* path, char** name) {
    const std::size_t folder = folderLength(path);
    const std::size_t markSize = std::strlen(unfinishedMark);
    const std::size_t base =
        std::min(std::strlen(path + folder), std::size_t{NAME_MAX} - markSize - randomLetters);
    *name = static_cast<char*>(std::malloc(folder + base + markSize + randomLetters + 1));
    if (*name == nullptr) return -1;
    std::memcpy(*name, path, folder + base);
    std::memcpy(*name + folder + base, unfinishedMark, markSize);
    char* letters = *name + folder + base + markSize;
    letters[randomLetters] = '\0';
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        fillRandomLetters(letters, attempt);
        const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
        const int fd = open(*name, flags, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    const int error = errno;
    std::free(*name);
    *name = nullptr;
    errno = error;
    return -1;
}
