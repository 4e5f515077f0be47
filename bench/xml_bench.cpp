// Speed of the XML document: the settings file round trip, parsing and
// writing of large generated documents, a 1 MiB text, very deep trees, and
// the inputs that must cost time in proportion to their size.
// Files go to /dev/shm where it exists, so that the figures show the
// library and not the disk.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <utf8.h>

#include "xml/notice.h"
#include "xml/xml_file.h"

namespace {

namespace fs = std::filesystem;

fs::path ScratchDir()
{
    static const fs::path dir = [] {
        fs::path d = (::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                     ("pyrrow-bench-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::u16string ScratchFile(const std::string& name)
{
    return utf8::utf8to16((ScratchDir() / name).string());
}

void WriteUtf16File(const std::u16string& path, const std::u16string& text)
{
    std::ofstream out(utf8::utf16to8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * 2));
}

// Many small elements with attributes, about bytes long as UTF-16.
std::u16string GeneratedDocument(std::size_t bytes)
{
    std::u16string text = u"\uFEFF<DriverSetting>\r\n";
    for (int i = 0; text.size() * 2 < bytes; ++i) {
        const std::u16string n = utf8::utf8to16(std::to_string(i));
        text += u"\t<Item id=\"" + n + u"\" name=\"unit " + n + u"\" path=\"/srv/fw/" + n +
                u".fw\" speed=\"115200\" />\r\n";
    }
    text += u"</DriverSetting>\r\n";
    return text;
}

// The file Pyrrow writes after each link has been chosen once.
const char16_t kSettings[] =
    u"\uFEFF<DriverSetting>\r\n"
    u"\t<Address pc=\"1\" />\r\n"
    u"\t<File path=\"/home/operator/firmware/unit-7.fw\" />\r\n"
    u"\t<Communication type=\"USB\">\r\n"
    u"\t\t<SerialPort port=\"ttyUSB0\" speed=\"38400\" parity=\"even\" timeout=\"5000\" readDelay=\"300\" />\r\n"
    u"\t\t<TCP ip=\"192.168.222.222\" port=\"1234\" timeout=\"5000\" readDelay=\"300\" />\r\n"
    u"\t\t<USB timeout=\"5000\" readDelay=\"300\" />\r\n"
    u"\t</Communication>\r\n"
    u"</DriverSetting>\r\n";

void BM_SettingsLoadParseSave(benchmark::State& state)
{
    const std::u16string in = ScratchFile("settings-in.config");
    const std::u16string out = ScratchFile("settings-out.config");
    WriteUtf16File(in, kSettings);
    for (auto _ : state) {
        CMyXMLFile doc;
        doc.Load(in.c_str());
        doc.Parse();
        doc.Save(out.c_str());
    }
}
BENCHMARK(BM_SettingsLoadParseSave)->Unit(benchmark::kMicrosecond);

void BM_Parse(benchmark::State& state)
{
    const std::u16string text = GeneratedDocument(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<CMyXMLFile>();
        doc->m_strContent.Set(text.c_str());
        state.ResumeTiming();
        benchmark::DoNotOptimize(doc->Parse());
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Parse)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State& state)
{
    const std::u16string out = ScratchFile("write.xml");
    CMyXMLFile doc;
    doc.m_strContent.Set(GeneratedDocument(static_cast<std::size_t>(state.range(0))).c_str());
    doc.Parse();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.Save(out.c_str()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Write)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_LoadParseOneMiBText(benchmark::State& state)
{
    const std::u16string path = ScratchFile("text.xml");
    WriteUtf16File(path, u"\uFEFF<r>" + std::u16string(512 * 1024, u'x') + u"</r>");
    for (auto _ : state) {
        CMyXMLFile doc;
        doc.Load(path.c_str());
        benchmark::DoNotOptimize(doc.Parse());
    }
}
BENCHMARK(BM_LoadParseOneMiBText)->Unit(benchmark::kMillisecond);

// A chain of nested elements: parsing builds it, the document's destructor
// deletes it.
void BM_ParseAndDeleteDeepChain(benchmark::State& state)
{
    const auto depth = static_cast<std::size_t>(state.range(0));
    std::u16string text;
    text.reserve(depth * 7);
    for (std::size_t i = 0; i < depth; ++i)
        text += u"<a>";
    for (std::size_t i = 0; i < depth; ++i)
        text += u"</a>";
    for (auto _ : state) {
        CMyXMLFile doc;
        doc.m_strContent.Set(text.c_str());
        if (doc.Parse() != 1)
            state.SkipWithError("deep chain did not parse");
    }
}
BENCHMARK(BM_ParseAndDeleteDeepChain)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Writing indents every element one tab per level, so a chain d deep writes
// d^2/2 tabs: 1,000,000 levels would be a terabyte. The walk over the links
// is shown with 1,000,000 siblings and a 10,000-deep chain.
void BM_WriteMillionSiblings(benchmark::State& state)
{
    const std::u16string out = ScratchFile("siblings.xml");
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    CMyTag* last = &doc.m_root;
    for (int i = 0; i < 1'000'000; ++i) {
        last = last->GetOrAddNext();
        last->SetName(u"s");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.Save(out.c_str()));
}
BENCHMARK(BM_WriteMillionSiblings)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteDeepChain(benchmark::State& state)
{
    const std::u16string out = ScratchFile("deep.xml");
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    CMyTag* last = &doc.m_root;
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        last = last->GetOrAddChild();
        last->SetName(u"a");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.Save(out.c_str()));
}
BENCHMARK(BM_WriteDeepChain)->Arg(10'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Inputs whose cost once grew with the square of their size: one value
// holding n "&amp;", one element with n attributes, and writing a value with
// n characters to escape. The time per item should stay flat from 10^4 to
// 10^6.
void ParseOnce(benchmark::State& state, const std::u16string& text)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<CMyXMLFile>();
        doc->m_strContent.Set(text.c_str());
        state.ResumeTiming();
        if (doc->Parse() != 1)
            state.SkipWithError("did not parse");
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_ParseEntitiesInOneValue(benchmark::State& state)
{
    std::u16string text = u"<r a=\"";
    for (std::int64_t i = 0; i < state.range(0); ++i)
        text += u"&amp;";
    text += u"\"/>";
    ParseOnce(state, text);
}
BENCHMARK(BM_ParseEntitiesInOneValue)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

void BM_ParseAttributesOfOneElement(benchmark::State& state)
{
    std::u16string text = u"<r";
    for (std::int64_t i = 0; i < state.range(0); ++i)
        text += u" a" + utf8::utf8to16(std::to_string(i)) + u"=\"1\"";
    text += u"/>";
    ParseOnce(state, text);
}
BENCHMARK(BM_ParseAttributesOfOneElement)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

void BM_WriteValueToEscape(benchmark::State& state)
{
    const std::u16string out = ScratchFile("escape.xml");
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    doc.m_root.AddAttribute(u"a", std::u16string(static_cast<std::size_t>(state.range(0)), u'&').c_str());
    for (auto _ : state)
        if (doc.Save(out.c_str()) != 1)
            state.SkipWithError("did not save");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WriteValueToEscape)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

void Quiet(const char16_t*, const char16_t*) {}

}  // namespace

int main(int argc, char** argv)
{
    pyrrow::SetNoticeHandler(Quiet);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(ScratchDir(), ignored);
    return 0;
}
