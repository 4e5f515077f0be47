// The Windows-only test program. Started with --print-arguments it is the
// child of the command-line test instead: it prints what the program would
// take from its command line, one value a line, and ends. Started with
// --save-large PATH it is the child of the interrupted-save test: it saves
// a document of 64 MB to PATH, which takes long enough to be ended midway.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "platform/process/command_line.h"
#include "platform/windows_text.h"
#include "xml/xml_file.h"

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

int SaveLarge(const char* path)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    const std::u16string text(32 * 1024 * 1024, u'x');
    doc.m_root.SetTextN(text.c_str(), static_cast<std::int32_t>(text.size()));
    return doc.Save(std::filesystem::path(path).u16string().c_str()) == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--print-arguments") == 0)
        return PrintArguments();
    if (argc > 2 && std::strcmp(argv[1], "--save-large") == 0)
        return SaveLarge(argv[2]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
