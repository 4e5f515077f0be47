// The Windows-only test program. Started with --print-arguments it is the
// child of the command-line test instead: it prints what the program would
// take from its command line, one value a line, and ends.
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "platform/command_line.h"
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--print-arguments") == 0)
        return PrintArguments();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
