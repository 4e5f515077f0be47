// Which settings file a run uses, and what becomes of one that cannot be
// read: the file beside the program wherever the program may write there,
// otherwise the user's own file, started from a copy of the one beside the
// program; a file that is there but cannot be loaded is moved aside before
// anything is written over it. Each decision is told on standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pyrrow::settings {

// Whether the program may write at a path: create files in a folder, change
// a file.
using WriteCheck = std::function<bool(const std::u16string&)>;
// The user's own folder for the program's settings; empty when none is known.
using UserFolder = std::function<std::u16string()>;

// The settings file to use, given the file beside the program. The user's
// own folder is asked for, and made, only when the program's folder may not
// be written; the file beside the program is then copied there once, when
// the user has no file yet.
std::u16string ChooseSettingsFile(const std::u16string& besideProgram, const WriteCheck& canWrite,
                                  const UserFolder& userFolder);

// The user's own settings file, of that file name, for a program whose own
// folder cannot hold one (reason says why, as "the path beside the program,
// /srv/bin/pyrrow.config, is not valid UTF-8"): in the user's folder, which
// is made. Empty, told, when there is no such folder or that path is unfit
// as well.
std::u16string UserSettingsFile(const std::u16string& name, const std::string& reason,
                                const UserFolder& userFolder);

// The size of the regular file at path, links followed; false, telling
// nothing, when there is none (missing, a link that leads nowhere, a folder).
bool RegularFileSize(const std::u16string& path, std::uint64_t* size);

// Moves the settings file at path aside to path + ".damaged" (numbered
// when that is taken), telling why it could not be used. False when it
// stays where it is.
bool SetAside(const std::u16string& path, const std::string& why);

}  // namespace pyrrow::settings
