#include "app/prikazovy_radek.h"

#include <cstdio>

#include "platform/process/command_line.h"
#include "platform/utf.h"
#include "xml/dyn_wstring.h"
#include "xml/wide_numbers.h"

namespace {

enum State : std::uint8_t {
    kOptionName = 0,
    kPort = 10,
    kSpeed = 11,
    kThirdValue = 12,
    kFourthValue = 13,
    kFile = 20,
    kDirectory = 30,
    kAddress = 40,
    kPc = 50,
};

// Copies text into a fixed field, cutting what does not fit; a cut never
// parts a surrogate pair.
template <std::size_t N>
void CopyField(char16_t (&field)[N], const char16_t* text)
{
    std::size_t i = 0;
    for (; text != nullptr && text[i] != 0 && i + 1 < N; ++i)
        field[i] = text[i];
    if (text != nullptr && text[i] != 0 && i > 0 && field[i - 1] >= 0xD800 && field[i - 1] <= 0xDBFF)
        --i;
    field[i] = 0;
}

// Copies a path into its field whole; one that does not fit is refused and
// the field keeps what it held.
template <std::size_t N>
void CopyPath(char16_t (&field)[N], const char16_t* text, const char* option)
{
    const std::u16string_view path(text);
    if (path.size() < N) {
        CopyField(field, text);
        return;
    }
    std::fprintf(stderr, "pyrrow: the value of %s has %zu characters, more than the %zu a path may have here; "
                 "it is not used: %s\n", option, path.size(), N - 1, pyrrow::platform::Utf16ToUtf8Lossy(path).c_str());
}

template <std::size_t N>
void CopyField(char16_t (&field)[N], const std::u16string& text)
{
    CopyField(field, text.c_str());
}

}  // namespace

void MakePathsAbsolute(CPrikazovyRadek& record)
{
    const auto make = [](char16_t(&field)[CPrikazovyRadek::kPathField], const char* option,
                         const std::u16string& fallback) {
        const std::u16string absolute = pyrrow::platform::AbsolutePath(field);
        if (absolute.size() < CPrikazovyRadek::kPathField) {
            CopyField(field, absolute);
            return;
        }
        std::fprintf(stderr, "pyrrow: the value of %s made absolute has %zu characters, more than the %zu a path "
                     "may have here; it is not used: %s\n", option, absolute.size(), CPrikazovyRadek::kPathField - 1,
                     pyrrow::platform::Utf16ToUtf8Lossy(absolute).c_str());
        CopyField(field, fallback.size() < CPrikazovyRadek::kPathField ? fallback : std::u16string());
    };
    make(record.m_szFile, "-f", u"");
    make(record.m_szDir, "-dir", pyrrow::platform::CurrentDirectory());
}

std::u16string NormaliseSmallNumber(const char16_t* text, unsigned fallback)
{
    const auto value = static_cast<std::uint32_t>(ReadLong(text));
    CDynWString out;
    out.Format(u"%u", value <= 127 ? value : fallback);
    return out.GetString() != nullptr ? out.GetString() : u"";
}

CPrikazovyRadek::CPrikazovyRadek()
{
    m_szFile[0] = 0;
    // A current directory that does not fit the field leaves it empty.
    const std::u16string current = pyrrow::platform::CurrentDirectory();
    CopyField(m_szDir, current.size() < kPathField ? current : std::u16string());
    m_nState = kOptionName;
    CopyField(m_szSpeed, u"38400");
    m_szPort[0] = 0;
    CopyField(m_szAddr, u"1");
    CopyField(m_szPc, u"0");
}

void CPrikazovyRadek::ParseParam(const char16_t* pszParam, bool /*bFlag*/, bool /*bLast*/)
{
    switch (m_nState) {
    case kOptionName: {
        const std::u16string_view name(pszParam);
        if (name == u"c")
            m_nState = kPort;
        else if (name == u"f")
            m_nState = kFile;
        else if (name == u"dir")
            m_nState = kDirectory;
        else if (name == u"addr")
            m_nState = kAddress;
        else if (name == u"pc")
            m_nState = kPc;
        break;
    }
    case kPort:
        CopyField(m_szPort, pszParam);
        m_nState = kSpeed;
        break;
    case kSpeed:
        CopyField(m_szSpeed, pszParam);
        m_nState = kThirdValue;
        break;
    case kThirdValue:
        m_nState = kFourthValue;
        break;
    case kFourthValue:
        m_nState = kOptionName;
        break;
    case kFile:
        CopyPath(m_szFile, pszParam, "-f");
        m_nState = kOptionName;
        break;
    case kDirectory:
        CopyPath(m_szDir, pszParam, "-dir");
        m_nState = kOptionName;
        break;
    case kAddress:
        CopyField(m_szAddr, NormaliseSmallNumber(pszParam, 1));
        m_nState = kOptionName;
        break;
    case kPc:
        CopyField(m_szPc, NormaliseSmallNumber(pszParam, 0));
        m_nState = kOptionName;
        break;
    default:
        m_nState = kOptionName;
        break;
    }
}

void ParseCommandLine(CPrikazovyRadek& record, std::span<const std::u16string> arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const bool flag = !argument.empty() && pyrrow::platform::IsOptionMark(argument.front());
        record.ParseParam(argument.c_str() + (flag ? 1 : 0), flag, i + 1 == arguments.size());
    }
}
