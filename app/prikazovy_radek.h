// CPrikazovyRadek: the parsed command line. A caller may preset the serial
// port and speed (-c PORT SPEED X Y), the firmware file (-f PATH), the file
// dialog's folder (-dir DIR) and two small numbers (-addr N, -pc N). Fields
// are fixed-size texts. A path is never cut (a cut one may name another
// file): the path fields hold any Linux path, and a longer value is refused
// with a line on standard error, the field keeping what it held. The short
// fields cut what does not fit, never inside a surrogate pair.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class CPrikazovyRadek {
public:
    static constexpr std::size_t kShortField = 128;  // characters with the terminator
    // 4,095 characters with the terminator: a Linux path has at most 4,095
    // bytes, so at most as many UTF-16 units.
    static constexpr std::size_t kPathField = 4096;

    CPrikazovyRadek();

    // Consumes one argument, its option mark already removed. The flags say
    // whether a mark was removed and whether it is the last argument; as
    // on Windows, the parser decides by the text and its state alone.
    void ParseParam(const char16_t* pszParam, bool bFlag, bool bLast);

    std::uint8_t m_nState = 0;
    char16_t m_szSpeed[kShortField];
    char16_t m_szFile[kPathField];
    char16_t m_szDir[kPathField];
    char16_t m_szPort[kShortField];
    char16_t m_szAddr[kShortField];
    char16_t m_szPc[kShortField];
};

// Feeds the arguments after the program's name to the record in order, each
// with one leading option mark removed, in the manner of the framework's
// ParseCommandLine.
void ParseCommandLine(CPrikazovyRadek& record, std::span<const std::u16string> arguments);

// Makes a relative -f or -dir value absolute against the current directory,
// so that what is shown, used and saved names the same file from any folder.
// Called at start-up, right after ParseCommandLine. A path that no longer
// fits its field is not used (standard error says so): -f becomes empty,
// -dir the current directory.
void MakePathsAbsolute(CPrikazovyRadek& record);

// The value of -addr or -pc: the text read as wcstol reads a decimal number,
// kept when it is 0 to 127, else the fallback; as unsigned decimal text.
std::u16string NormaliseSmallNumber(const char16_t* text, unsigned fallback);
