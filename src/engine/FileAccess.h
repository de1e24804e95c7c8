#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace velmar {

// Every file the program reads or writes goes through these two doors, so that
// a bad path costs a clear message and never a device node, a blocked read or
// the memory a huge file would take. The messages name the path and say why,
// and can be shown to the operator as they are.

struct FileReadResult {
    std::string bytes;
    std::string error; // empty when the file was read
    bool ok() const { return error.empty(); }
};

// Reads a whole regular file (a symlink to one is read as that file) of at
// most maxBytes. A folder, FIFO, device, socket, a missing file or one above
// maxBytes is refused without reading, and without waiting: a FIFO that no one
// writes to never blocks the caller.
FileReadResult readFileBounded(const QString& path, std::size_t maxBytes);

// Empty when writeFileAtomically may write `path`, else why not: an existing
// target that is not a regular file, a read-only file, a missing folder.
// Callers use it to refuse before doing any work; writing checks again.
std::string checkWriteTarget(const QString& path);

// Replaces the regular file at `path` with `bytes` in one step: the new text
// is written beside it, flushed to disk and renamed over it, so a reader sees
// either the old file or the whole new one, and an error leaves the old file
// as it was. A symlink is followed: the file it leads to is replaced and the
// link stays. An existing target that is not a regular file is never
// touched. Empty on success, else why not.
std::string writeFileAtomically(const QString& path, std::string_view bytes);

// Appends `bytes` to the regular file at `path` (created when missing) in one
// write, and flushes it to disk before returning, so a crash or power loss
// afterwards keeps it. Logs use it: each record goes out whole or not at all
// as far as the program can tell. Refuses what is not a regular file, as the
// writer above does. Empty on success, else why not.
std::string appendToFile(const QString& path, std::string_view bytes);

// A message above as a message box shows it: "Cannot read ...: ... ."
std::string asSentence(std::string_view message);

} // namespace velmar
