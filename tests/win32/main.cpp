// The Windows-only test program. Started with --print-arguments it is the
// child of the command-line test instead: it prints what the program would
// take from its command line, one value a line, and ends. Started with
// --hold-save PATH it is the child of the interrupted-save test: it begins
// to replace PATH, writes part of the new content, says "holding" and waits
// to be ended.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "platform/command_line.h"
#include "platform/file.h"
#include "platform/windows_text.h"

namespace {

int PrintArguments()
{
    const std::vector<std::u16string> arguments = pyrrow::platform::ProgramArguments(0, nullptr);
    for (std::size_t i = 1; i < arguments.size(); ++i)
        std::printf("argument %s\n", pyrrow::platform::ToUtf8(arguments[i]).c_str());
    CPrikazovyRadek record;
    ParseCommandLine(record, std::span(arguments).subspan(1));
    std::printf("port %s\nfile %s\n", pyrrow::platform::ToUtf8(record.m_szPort).c_str(),
                pyrrow::platform::ToUtf8(record.m_szFile).c_str());
    return 0;
}

int HoldSave(const char* path)
{
    const std::u16string name = std::filesystem::path(path).u16string();
    pyrrow::platform::FileHandle file = pyrrow::platform::BeginReplacement(name.c_str());
    if (file == nullptr || !pyrrow::platform::WriteFile(file, "\xFF\xFE<", 3))
        return 1;
    // Past the write buffer, so that the new file has content on the disk.
    static char part[128 * 1024];
    if (!pyrrow::platform::WriteFile(file, part, sizeof part))
        return 1;
    std::printf("holding\n");
    std::fflush(stdout);
    // Bounded, in case the test that should end it is gone.
    ::WaitForSingleObject(::GetCurrentProcess(), 60000);
    pyrrow::platform::CloseFile(file);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--print-arguments") == 0)
        return PrintArguments();
    if (argc > 2 && std::strcmp(argv[1], "--hold-save") == 0)
        return HoldSave(argv[2]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
