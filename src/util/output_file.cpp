// Output files: a private new file in the destination's folder, published over it once complete,
// so that a failure, a full disk or a signal leaves the old file whole; in place where that
// cannot be. The kernel resolves every path.
#include "util/output_file.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
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
constexpr std::size_t copyBlockSize = 16384;
constexpr const char* aclName = "system.posix_acl_access";

// The one list of held signals: every signal whose default action ends the process, but
// SIGKILL, which nothing holds. A fault that our own instruction raises (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGTRAP, SIGSYS) is delivered by Linux at once whatever the mask, with its default
// action, and abort() unblocks SIGABRT itself: holding them holds only those another process
// sends, so a crash still ends the run at once. A write beyond the file size limit fails with
// EFBIG while SIGXFSZ waits, so the new file is removed before that signal ends the run.
void addHeldSignals(sigset_t* set) {
    for (const int signal :
         {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,
          SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU,
          SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS})
        sigaddset(set, signal);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        sigaddset(set, signal);
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

// Opens the folder of `path` (up to its last slash, else ".") for the *at calls, the kernel
// following its links; *name points at the last component. -1 when it cannot be opened.
int openFolder(const char* path, const char** name) {
    const char* slash = std::strrchr(path, '/');
    *name = slash == nullptr ? path : slash + 1;
    if (slash == nullptr) return open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    char* folder = strndup(path, static_cast<std::size_t>(slash - path) + 1);
    if (folder == nullptr) return -1;
    const int fd = open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::free(folder);
    return fd;
}

// True when `name` in `folder`, itself and not a link's target, is the file open as `fd`.
bool namesFile(int folder, const char* name, int fd) {
    struct stat there {
    }, file{};
    return fstatat(folder, name, &there, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &file) == 0 &&
           there.st_dev == file.st_dev && there.st_ino == file.st_ino;
}

// Opens the destination as ">" does, less the truncation, and without waiting for a FIFO's
// reader (ENXIO then). *throughProc: the kernel reached it through a descriptor link of /proc,
// which it tells by refusing the path with RESOLVE_NO_MAGICLINKS.
int openDestination(int folder, const char* name, bool* throughProc) {
    open_how how{};
    how.flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    how.mode = 0600;
    how.resolve = RESOLVE_NO_MAGICLINKS;
    int fd = static_cast<int>(syscall(SYS_openat2, folder, name, &how, sizeof how));
    *throughProc = false;
    if (fd >= 0 || (errno != ELOOP && errno != ENOSYS && errno != EPERM)) return fd;
    const bool magic = errno == ELOOP;  // or too many links, which the kernel refuses again
    fd = openat(folder, name, static_cast<int>(how.flags), 0600);
    *throughProc = magic && fd >= 0;
    return fd;
}

// Opens `name` for writing and waits for a FIFO's reader, as ">" does, once openDestination met
// none. This open has no O_CREAT, so the kernel's checks of a creating open (protected_fifos,
// protected_regular) do not apply: a file put there since, other than the one `seen` describes
// (another inode, or another kind of file on a reused inode number), is refused (-1).
int reopenSeen(int folder, const char* name, const struct stat& seen) {
    const int fd = openat(folder, name, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    struct stat reached {};
    if (fd < 0 ||
        (fstat(fd, &reached) == 0 && reached.st_dev == seen.st_dev &&
         reached.st_ino == seen.st_ino && (reached.st_mode & S_IFMT) == (seen.st_mode & S_IFMT))) {
        return fd;
    }
    close(fd);
    return -1;
}

// Copies the user.* attributes and the POSIX ACL of `from` to `to`, as cp --preserve=xattr does;
// one that cannot be read or set is skipped.
void copyExtendedAttributes(int from, int to) {
    const ssize_t listSize = flistxattr(from, nullptr, 0);
    if (listSize <= 0) return;
    const auto capacity = static_cast<std::size_t>(listSize);
    char* list = static_cast<char*>(std::malloc(capacity));
    const ssize_t got = list == nullptr ? 0 : flistxattr(from, list, capacity);
    for (const char* name = list; got > 0 && name < list + got; name += std::strlen(name) + 1) {
        if (std::strncmp(name, "user.", 5) != 0 && std::strcmp(name, aclName) != 0) continue;
        const ssize_t size = fgetxattr(from, name, nullptr, 0);
        if (size < 0) continue;
        const auto room = static_cast<std::size_t>(size) + 1;
        void* value = std::malloc(room);
        const ssize_t length = value == nullptr ? -1 : fgetxattr(from, name, value, room);
        if (length >= 0) fsetxattr(to, name, value, static_cast<std::size_t>(length), 0);
        std::free(value);
    }
    std::free(list);
}

// The new file gets the old file's owner and group where allowed, its attributes (setting them
// needs write permission, so before the mode), then its mode; a new name gets newMode.
void publishAttributes(const OutputFile& output, int fd) {
    struct stat old {};
    struct stat now {};
    if (output.destination < 0 || output.created || fstat(output.destination, &old) != 0) {
        fchmod(fd, output.newMode);
        return;
    }
    if (fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int group = fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    copyExtendedAttributes(output.destination, fd);
    fchmod(fd, old.st_mode & 07777);
}

// Writes every byte of `from` over `to`, cut first. True when every byte was written.
bool copyInPlace(int from, int to) {
    char block[copyBlockSize];
    if (ftruncate(to, 0) != 0) return false;
    for (off_t offset = 0;;) {
        const ssize_t got = pread(from, block, sizeof block, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                pwrite(to, block + done, static_cast<std::size_t>(got - done), offset + done);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += put;
        }
        offset += got;
    }
}

// Closes what `output` holds but its stream, frees its names and restores the signal mask.
OutputFile releaseOutput(OutputFile* output) {
    if (output->destination >= 0) close(output->destination);
    if (output->folder >= 0) close(output->folder);
    std::free(output->name);
    std::free(output->unfinished);
    if (output->held) releaseInterrupts(&output->savedMask);
    *output = OutputFile{};
    return OutputFile{};
}

// Gives up an open that created the destination through a dangling link: that file goes.
OutputFile refuse(OutputFile* output) {
    if (output->created && output->name != nullptr &&
        namesFile(output->folder, output->name, output->destination)) {
        unlinkat(output->folder, output->name, 0);
    }
    return releaseOutput(output);
}

// Writes in place through `fd`, the destination's file, cut to nothing first when `cut`.
OutputFile writeInPlace(OutputFile* output, int fd, bool cut) {
    OutputFile inPlace;
    if (fd >= 0 && (!cut || ftruncate(fd, 0) == 0)) inPlace.stream = fdopen(fd, "wb");
    if (inPlace.stream == nullptr && fd >= 0) close(fd);
    if (fd == output->destination) output->destination = -1;
    releaseOutput(output);
    return inPlace;
}

// The new file beside output->name in output->folder; in place where the folder takes none.
OutputFile openReplacement(OutputFile* output) {
    const int fd = openUnfinishedFile(output->folder, output->name, &output->unfinished);
    if (fd < 0) {
        const bool noRoom = errno == EACCES || errno == EPERM || errno == EROFS;
        if (noRoom && output->destination >= 0) {
            return writeInPlace(output, output->destination, true);
        }
        return refuse(output);
    }
    output->stream = fdopen(fd, "wb");
    if (output->stream != nullptr) return *output;
    close(fd);
    unlinkat(output->folder, output->unfinished, 0);
    return refuse(output);
}

// Finds the folder and the name of the regular file the kernel opened through a link.
bool locateTarget(OutputFile* output) {
    char link[40];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", output->destination);
    const ssize_t size = readlink(link, target, sizeof target);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof target || target[0] != '/') {
        return false;
    }
    target[size] = '\0';
    const char* name = nullptr;
    const int folder = openFolder(target, &name);
    if (folder < 0) return false;
    if (!namesFile(folder, name, output->destination) || (output->name = strdup(name)) == nullptr) {
        close(folder);
        return false;
    }
    close(output->folder);
    output->folder = folder;
    return true;
}

// True when a write, the flush or the close failed.
bool finishStream(std::FILE* stream) {
    const bool writeFailed = std::ferror(stream) != 0;
    const bool flushFailed = std::fflush(stream) != 0;
    const bool closeFailed = std::fclose(stream) != 0;
    return writeFailed || flushFailed || closeFailed;
}

}  // namespace

OutputFile openOutputFile(const char* path) {
    OutputFile output;
    const char* name = nullptr;
    output.folder = openFolder(path, &name);
    if (output.folder < 0 || *name == '\0') return releaseOutput(&output);
    output.newMode = newFileMode();
    struct stat seen {};
    const bool exists = fstatat(output.folder, name, &seen, 0) == 0;
    if (!exists && errno != ENOENT) return releaseOutput(&output);  // refused by the kernel
    const bool danglingLink =
        !exists && fstatat(output.folder, name, &seen, AT_SYMLINK_NOFOLLOW) == 0;
    holdInterrupts(&output.savedMask);
    output.held = true;
    if (!exists && !danglingLink) {
        output.name = strdup(name);
        return output.name == nullptr ? releaseOutput(&output) : openReplacement(&output);
    }
    bool throughProc = false;
    const int fd = openDestination(output.folder, name, &throughProc);
    if (fd < 0 && errno == ENXIO) {  // a FIFO without a reader: wait for one, signals free
        releaseInterrupts(&output.savedMask);
        output.held = false;
        return writeInPlace(&output, reopenSeen(output.folder, name, seen), false);
    }
    if (fd < 0) return releaseOutput(&output);
    output.destination = fd;
    output.created = !exists;
    fcntl(fd, F_SETFL, (fcntl(fd, F_GETFL) & ~O_NONBLOCK) | (throughProc ? O_APPEND : 0));
    struct stat info {};
    if (fstat(fd, &info) != 0) return refuse(&output);
    if (!S_ISREG(info.st_mode) || throughProc) return writeInPlace(&output, fd, false);
    if (namesFile(output.folder, name, fd)) {
        output.name = strdup(name);
        if (output.name == nullptr) return releaseOutput(&output);
    } else if (!locateTarget(&output)) {
        return writeInPlace(&output, fd, true);
    }
    return openReplacement(&output);
}

std::int32_t closeOutputFile(OutputFile* output, const char* /*path*/) {
    if (output->unfinished == nullptr) return finishStream(output->stream) ? 1 : 0;
    const int fd = fileno(output->stream);
    const bool flushed = std::ferror(output->stream) == 0 && std::fflush(output->stream) == 0;
    if (flushed) publishAttributes(*output, fd);
    const int reader = dup(fd);  // for a copy in place should the rename be refused
    const bool written = !finishStream(output->stream) && flushed && !interruptPending();
    output->stream = nullptr;
    bool placed =
        written && renameat(output->folder, output->unfinished, output->folder, output->name) == 0;
    const bool refused = written && !placed && errno == EPERM && output->destination >= 0;
    if (!placed) unlinkat(output->folder, output->unfinished, 0);
    if (refused) placed = reader >= 0 && copyInPlace(reader, output->destination);
    if (reader >= 0) close(reader);
    std::free(output->unfinished);
    output->unfinished = nullptr;
    if (!placed && !refused) {
        refuse(output);
    } else {
        releaseOutput(output);
    }
    return placed ? 0 : 1;
}

void holdInterrupts(sigset_t* saved) {
    sigset_t held;
    sigemptyset(&held);
    addHeldSignals(&held);
    pthread_sigmask(SIG_BLOCK, &held, saved);
}

void releaseInterrupts(const sigset_t* saved) {
    pthread_sigmask(SIG_SETMASK, saved, nullptr);
}

bool interruptPending() {
    sigset_t pending, held;
    sigemptyset(&held);
    addHeldSignals(&held);
    if (sigpending(&pending) != 0) return false;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (sigismember(&held, signal) != 1 || sigismember(&pending, signal) != 1) continue;
        struct sigaction action {};
        // Only a signal left to its default action ends the run; one the program ignores or
        // catches (a handler of an embedding program, a fuzzer's timer) lets the file be placed.
        if (sigaction(signal, nullptr, &action) != 0) return true;
        if ((action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == SIG_DFL) return true;
    }
    return false;
}

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int openUnfinishedFile(int folder, const char* name, char** unfinished) {
    const std::size_t markSize = std::strlen(unfinishedMark);
    const std::size_t base =
        std::min(std::strlen(name), std::size_t{NAME_MAX} - markSize - randomLetters);
    *unfinished = static_cast<char*>(std::malloc(base + markSize + randomLetters + 1));
    if (*unfinished == nullptr) return -1;
    std::memcpy(*unfinished, name, base);
    std::memcpy(*unfinished + base, unfinishedMark, markSize);
    char* letters = *unfinished + base + markSize;
    letters[randomLetters] = '\0';
    for (int attempt = 0; attempt < maxNameAttempts; ++attempt) {
        fillRandomLetters(letters, attempt);
        const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
        const int fd = openat(folder, *unfinished, flags, 0600);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    const int error = errno;
    std::free(*unfinished);
    *unfinished = nullptr;
    errno = error;
    return -1;
}
