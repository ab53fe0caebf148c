// Writing an output file so that a failed or interrupted write never destroys an existing file.
//
// The destination is opened as a shell's ">" opens it, less the truncation: the kernel follows
// the path under its own rules (permissions, protected_symlinks, protected_regular), and a
// destination it refuses is refused. Nothing else walks a link.
//
// A regular file (a new name, an existing file, or the file a symbolic link leads to) is written
// to a new file in its folder, "NAME.varnock-unfinished-XXXXXX", created readable and writable
// by its owner alone; once every byte and the flush succeeded it gets the old file's owner and
// group where allowed, its user.* extended attributes and POSIX ACL where allowed, then the old
// file's mode (a new name: 0666 less the umask), is closed and renamed over the name. Every *at
// call works from the folder, so only NAME_MAX limits the name. From before anything is created
// until the new file is renamed or removed, every signal whose default action ends the process (one
// list, in output_file.cpp) is held back; one that arrived makes the close remove the new file,
// then takes effect.
//
// Written in place, cut to nothing first as fopen "wb" does: anything that is not a regular file
// (a FIFO, a device), a regular file whose folder takes no new file (no permission, read-only)
// or refuses the rename over it (a sticky folder, a file of another owner): there a failed write
// leaves the file cut short. A FIFO that has no reader yet is opened again, blocking, and must
// still be the same file. A name reached through a descriptor link of /proc (/dev/stdout,
// /dev/fd/N) is written at its end, so the picture follows what was written there before.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>

// An output being written: the stream, and what the close needs to finish or undo it.
struct OutputFile {
    std::FILE* stream = nullptr;
    int folder = -1;             // the folder of `name` (replacing), else -1
    char* name = nullptr;        // the file's name in `folder` (heap), renamed over at the close
    char* unfinished = nullptr;  // the new file's name in `folder` (heap); null: in place
    int destination = -1;        // the existing file, open for writing; -1: a new name
    bool created = false;        // this open created `destination` (through a dangling link)
    mode_t newMode = 0;          // a new file's mode: 0666 less the umask
    bool held = false;           // the signals are held back, `savedMask` to be restored
    sigset_t savedMask{};
};

// Opens `path` for writing bytes. A null stream means that the kernel refused the path, or no new
// file can be made beside it for a reason other than permission (a full disk): nothing changed.
OutputFile openOutputFile(const char* path);

// Flushes and closes the stream and puts the file in place (`path`: the name openOutputFile was
// given). Results: 1 a write, the flush, the close or the rename failed, or a held signal
// arrived: the new file is removed (in place the file stays cut short); 0 written.
std::int32_t closeOutputFile(OutputFile* output, const char* path);

// Holds back every signal of heldSignals, keeping the previous mask in *saved; releasing puts
// that mask back, and a signal that arrived meanwhile then takes effect.
void holdInterrupts(sigset_t* saved);
void releaseInterrupts(const sigset_t* saved);
// True when a held signal waits with its default action (neither ignored nor caught).
bool interruptPending();

// The mode a new file gets: 0666 less the process's umask.
mode_t newFileMode();

// Creates a new, empty file in `folder` (a descriptor or AT_FDCWD) beside `name`, named
// "NAME.varnock-unfinished-XXXXXX", mode 0600, opened for reading and writing. Returns the
// descriptor and the new name in *unfinished (heap, for the caller to free), or -1 with errno
// set and *unfinished null.
int openUnfinishedFile(int folder, const char* name, char** unfinished);
