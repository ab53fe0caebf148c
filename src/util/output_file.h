// Writing an output file so that a failed or interrupted write never destroys an existing file.
//
// A regular file (a new name, an existing file, or the file a chain of symbolic links leads
// to) is written to a new file beside it, "NAME.varnock-unfinished-XXXXXX" (mode 0666 less the
// umask, or the existing file's mode, owner and group where the system allows), which is
// renamed over the name only once every byte, the flush and the close succeeded. From its
// creation until it is renamed or removed, SIGINT, SIGTERM and SIGHUP are held back; one that
// arrived meanwhile makes the close remove the new file, then takes effect.
//
// Written in place, as fopen "wb" does: anything that is not a regular file (a FIFO, a
// device), and a regular file in a folder where no new file can be made (no permission). A
// name reached through a link in /proc (/dev/stdout, /dev/fd/N) names a descriptor already
// open: it is opened for appending, so the picture follows what was written there before.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>

// An output being written: the stream, and what the close needs to finish or undo it.
struct OutputFile {
    std::FILE* stream = nullptr;
    char* unfinished = nullptr;  // the new file renamed over `target` (heap), or null: in place
    char* target = nullptr;      // the regular file's name, its links followed (heap)
    sigset_t savedMask{};        // the signal mask to restore once `unfinished` is gone
    bool created = false;        // in place: this open created the file
    dev_t device = 0;            // in place: the created file's identity
    ino_t inode = 0;
};

// Opens `path` for writing bytes. A null stream means it cannot be opened, or no new file can
// be made beside it for a reason other than permission (a full disk): nothing is changed.
OutputFile openOutputFile(const char* path);

// Flushes and closes the stream and puts the file in place. Results: 1 a write, the flush, the
// close or the rename failed, or an interrupt arrived: the new file is removed (in place, a file
// this open created is removed while the path still names it; an existing one stays cut short);
// 0 written.
std::int32_t closeOutputFile(OutputFile* output, const char* path);

// Holds back SIGINT, SIGTERM and SIGHUP, keeping the previous mask in *saved; releasing puts
// that mask back, and a signal that arrived meanwhile then takes effect.
void holdInterrupts(sigset_t* saved);
void releaseInterrupts(const sigset_t* saved);

// Creates a new, empty file beside `path` named "NAME.varnock-unfinished-XXXXXX" with mode
// 0666 (less the umask), opened write-only. Returns the descriptor and its name in *name (heap,
// for the caller to free), or -1 with errno set and *name null.
int openUnfinishedFile(const char* path, char** name);
