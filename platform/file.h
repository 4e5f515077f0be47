// Files as the XML document needs them: open an existing settings file for
// reading (created empty when missing), replace a file safely by writing its
// new content beside it, ask the size, read, write, close. One source file
// per operating system implements it (file_posix.cpp, file_win.cpp).
//
// Paths are UTF-16; conversion to the system's encoding happens here.
// A FileHandle is null when no file is open. Functions taking a handle
// accept null and then fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pyrrow::platform {

struct OpenFile;
using FileHandle = OpenFile*;

// Opens path for reading and writing, creating it empty when it is missing;
// a file that may only be read is opened for reading. Others may read and
// write it meanwhile, but while a document holds the file after a save
// (ReplaceFile below) this fails. Only regular files open. Null on failure.
FileHandle OpenOrCreateShared(const char16_t* path);

// Starts replacing path: the new content goes to a new file beside it, which
// takes the old file's permissions. Nothing happens to path itself until
// CommitReplacement. Null on failure.
FileHandle BeginReplacement(const char16_t* path);

// Makes the written content durable and puts it in place of the old file in
// one step. Fails, and leaves the old file as it was, when any write on the
// handle failed or was short, or when writeComplete is false. On success the
// handle stays open on the new file and holds it exclusively until
// CloseFile; on failure the new file is removed and the handle stays open
// for CloseFile only.
bool CommitReplacement(FileHandle file, bool writeComplete);

// The size in bytes; false when it cannot be had.
bool GetFileSize(FileHandle file, std::uint64_t* size);

// Reads up to size bytes from the start of the file, repeating partial reads
// until size bytes or the end of the file; *read gets the count.
bool ReadFromStart(FileHandle file, void* buffer, std::size_t size, std::size_t* read);

// Writes size bytes. Writes on a replacement are buffered; a failure is
// remembered and reported by CommitReplacement as well.
bool WriteFile(FileHandle file, const void* data, std::size_t size);

// Opens an existing regular file for reading, for us alone: a file that
// another program holds locked fails, and others are kept from locking it
// meanwhile. Null on failure.
FileHandle OpenExclusiveForReading(const char16_t* path);

// Reads the next bytes in order: up to size, fewer only at the end of the
// file; *read gets the count (0 at the end). False when the read failed.
bool ReadNext(FileHandle file, void* buffer, std::size_t size, std::size_t* read);

// Closes the file (an uncommitted replacement is discarded). Null is fine.
void CloseFile(FileHandle file);

}  // namespace pyrrow::platform
