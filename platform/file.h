// Files as the XML document and the settings need them: open an existing
// settings file for reading (created empty when missing), replace a file
// safely by writing its new content beside it, ask the size, read, write,
// close; and by name: may we write there, copy a file to a new name, move a
// damaged one aside, make folders. One set of source files per operating
// system implements it (file_*_posix.cpp, file_win.cpp), with the reads' loop
// shared (file.cpp).
//
// Paths are UTF-16; conversion to the system's encoding happens here.
// A FileHandle is null when no file is open. Functions taking a handle
// accept null and then fail. Every failure is told on standard error with
// what was tried, on what, and the system's reason, as
// "file: save /opt/pyrrow/pyrrow.config: Permission denied"; the results
// stay as described.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string>

#include "platform/system_error.h"

namespace pyrrow::platform {

struct OpenFile;
using FileHandle = OpenFile*;

// Opens path for reading and writing, creating it empty when nothing is
// there (a symbolic link that leads nowhere is not followed to create a
// file at its end); a file that may only be read is opened for reading.
// Others may read and write it meanwhile, but while a document holds the
// file after a save (BeginReplacement below) this fails. Only regular files
// open. Null on failure.
FileHandle OpenOrCreateShared(const char16_t* path);

// Starts replacing path: the new content goes to a new file beside it,
// which takes the old file's permissions and has no name (or a temporary
// one) until CommitReplacement, so that no partial file survives a failure
// or the program's end. Nothing happens to path itself until then.
// Refused (null) for a file that may not be written (one without any write
// permission bit is read-only even to the superuser) and for a symbolic
// link unless the link, every link after it and the file it leads to
// belong to this user; such a file is replaced where it is and the link
// stays. Where the folder may not be written but the file may, the file
// is rewritten in place at the commit, which is then not one step. Null on
// failure.
FileHandle BeginReplacement(const char16_t* path);

// Makes the written content durable and puts it in place of the old file in
// one step. Fails, and leaves the old file as it was, when any write on the
// handle failed or was short, or when writeComplete is false. On success the
// handle stays open on the new file and holds it exclusively until
// CloseFile; on failure the new file is gone and the handle stays open
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
// meanwhile. Null on failure; error (may be null) then says why.
FileHandle OpenExclusiveForReading(const char16_t* path, SystemError* error = nullptr);

// Reads the next bytes in order: up to size, fewer only at the end of the
// file; *read gets the count (0 at the end). False when the read failed;
// error (may be null) then says why.
bool ReadNext(FileHandle file, void* buffer, std::size_t size, std::size_t* read, SystemError* error = nullptr);

// Each system's half of the two reads above (file_posix.cpp, file_win.cpp):
// back to the start of an open file, told on standard error when that
// fails; and one read of at most size bytes, *read 0 at the end.
bool RewindFile(FileHandle file);
bool ReadSome(FileHandle file, char* buffer, std::size_t size, std::size_t* read, SystemError* error);

// Closes the file (an uncommitted replacement is discarded). Null is fine.
void CloseFile(FileHandle file);

// Where the last folder separator of path stands ('/', and '\\' too on
// Windows), or std::u16string::npos; and the separator this system writes.
std::size_t LastPathSeparator(const std::u16string& path);
char16_t PathSeparator();

// Why path cannot name a file to these functions, as "is not valid UTF-8"
// (Linux: a lone surrogate), "is 300 characters long, past MAX_PATH"
// (Windows, whose plain calls take no longer path); empty when it can.
std::string PathUnfitForFiles(const std::u16string& path);

// Whether this user may write at path: create files in it when it is a
// folder, change it when it is a file (a file without any write permission
// bit counts as read-only, also to the superuser). Links are followed.
// Tells nothing: a no is an answer, not a failure.
bool CanWrite(const char16_t* path);

// The size of the regular file at path, links followed; false, telling
// nothing, when there is none (missing, a link that leads nowhere, a folder).
bool GetRegularFileSize(const char16_t* path, std::uint64_t* size);

// Makes the folder and those above it that are missing, for this user
// alone (mode 0700). True when the folder is there.
bool CreateFolders(const char16_t* path);

// Copies the regular file from to the name to, which must be free: to
// appears complete or not at all, and nothing there is ever replaced.
bool CopyToNewFile(const char16_t* from, const char16_t* to);

// Renames path to path + suffix, or to path + suffix + ".1", ".2", ... when
// that name is taken; nothing is ever replaced. A symbolic link is renamed
// itself: what it leads to stays where and as it is. A file that another
// program holds (see OpenOrCreateShared) is not moved. *movedTo gets the
// new name. False when nothing was moved.
bool MoveAside(const char16_t* path, const char16_t* suffix, std::u16string* movedTo);

}  // namespace pyrrow::platform
