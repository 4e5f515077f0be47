#include "settings/settings_file.h"

#include <cstdint>
#include <cstdio>

#include "platform/files/named_file.h"
#include "platform/utf.h"

namespace pyrrow::settings {

namespace platform = pyrrow::platform;

namespace {

std::string Utf8(const std::u16string& text)
{
    return platform::Utf16ToUtf8(text).value_or("(a name that is not valid UTF-16)");
}

// A failure of the file service, told as "file: <step> <path>: <reason>".
void TellFileError(const char* step, const std::u16string& path, const platform::SystemError& error)
{
    std::fprintf(stderr, "file: %s %s: %s\n", step, Utf8(path).c_str(), error.text.c_str());
}

bool CreateFolders(const std::u16string& path)
{
    platform::SystemError error;
    if (platform::CreateFolders(platform::Utf16ToUtf8Lossy(path), &error))
        return true;
    TellFileError("create folder", path, error);
    return false;
}

void Tell(const std::string& line)
{
    std::fprintf(stderr, "settings: %s\n", line.c_str());
}

}  // namespace

std::u16string ChooseSettingsFile(const std::u16string& besideProgram, const WriteCheck& canWrite,
                                  const UserFolder& userFolder)
{
    const std::size_t slash = platform::LastPathSeparator(besideProgram);
    // The root folder ("/", "C:\\") keeps its separator.
    const bool root = slash != std::u16string::npos && (slash == 0 || besideProgram[slash - 1] == u':');
    const std::u16string folder = slash == std::u16string::npos ? u"."
                                  : root                        ? besideProgram.substr(0, slash + 1)
                                                                : besideProgram.substr(0, slash);
    const std::u16string name = besideProgram.substr(slash == std::u16string::npos ? 0 : slash + 1);
    const std::string beside = Utf8(besideProgram);

    if (canWrite(folder)) {
        Tell("using " + beside + " (beside the program; its folder may be written)");
        return besideProgram;
    }
    std::uint64_t size = 0;
    const bool besideExists = RegularFileSize(besideProgram, &size);
    if (besideExists && canWrite(besideProgram)) {
        Tell("using " + beside + " (beside the program; the file may be written, its folder " + Utf8(folder) +
             " may not)");
        return besideProgram;
    }
    const std::u16string own = userFolder();
    if (own.empty()) {
        Tell("using " + beside + " (beside the program, though its folder " + Utf8(folder) +
             " may not be written: no home folder is known for a file of this user's own)");
        return besideProgram;
    }
    const std::u16string path = own + platform::PathSeparator() + name;
    Tell("using " + Utf8(path) + " (this user's own file: the program's folder " + Utf8(folder) +
         " may not be written)");
    if (!CreateFolders(own) || !besideExists || RegularFileSize(path, &size))
        return path;
    platform::SystemError error;
    if (platform::CopyToNewFile(beside, platform::Utf16ToUtf8Lossy(path), &error))
        Tell(Utf8(path) + " starts as a copy of " + beside);
    else
        TellFileError("copy", besideProgram, error);
    return path;
}

std::u16string UserSettingsFile(const std::u16string& name, const std::string& reason,
                                const UserFolder& userFolder)
{
    const std::u16string own = userFolder();
    const std::u16string path = own.empty() ? std::u16string() : own + platform::PathSeparator() + name;
    const std::string unfit = path.empty() ? std::string() : platform::PathUnfitForFiles(path);
    if (path.empty() || !unfit.empty()) {
        Tell("no settings are used in this run: " + reason +
             (path.empty() ? ", and no home folder is known for a file of this user's own"
                           : ", and this user's own, " + platform::Utf16ToUtf8Lossy(path) + ", " + unfit));
        return {};
    }
    Tell("using " + Utf8(path) + " (this user's own file: " + reason + ")");
    CreateFolders(own);
    return path;
}

bool RegularFileSize(const std::u16string& path, std::uint64_t* size)
{
    platform::FileFacts facts;
    if (!platform::FactsAt(platform::Utf16ToUtf8Lossy(path), &facts, nullptr) || !facts.Regular())
        return false;
    *size = facts.size;
    return true;
}

bool SetAside(const std::u16string& path, const std::string& why)
{
    std::string aside;
    platform::SystemError error;
    if (platform::MoveAside(platform::Utf16ToUtf8Lossy(path), ".damaged", &aside, &error)) {
        Tell(Utf8(path) + " " + why + "; moved aside to " + aside + ", the defaults are used");
        return true;
    }
    TellFileError("move aside", path, error);
    Tell(Utf8(path) + " " + why + " and stays as it is; the defaults are used and no settings are saved in this run");
    return false;
}

}  // namespace pyrrow::settings
