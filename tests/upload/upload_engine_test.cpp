#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/dialog_fixture.h"
#include "support/temp_dir.h"
#include "upload/upload_engine.h"

namespace {

using pyrrow::upload::FailureKind;
using pyrrow::upload::Link;
using pyrrow::upload::LinkContext;
using pyrrow::upload::Phase;
using pyrrow::upload::UploadFailure;

// A link of 10-byte blocks that fails where the test says and records what
// the engine asked of it.
class ScriptedLink final : public Link {
public:
    std::optional<UploadFailure> Open(const LinkContext&) override
    {
        log.push_back("open");
        opened = true;
        return FailAt("open");
    }
    std::optional<UploadFailure> ExchangeHeader(std::span<const unsigned char> header, const LinkContext&) override
    {
        log.push_back("header " + std::to_string(header.size()));
        return FailAt("header");
    }
    std::size_t BlockSize() const override { return 10; }
    std::optional<UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                           const LinkContext&) override
    {
        log.push_back("block " + std::to_string(number) + " " + std::to_string(block.size()));
        if (number == 1 && stopAfterFirst != nullptr)
            stopAfterFirst->request_stop();
        return FailAt("block " + std::to_string(number));
    }
    unsigned PauseAfterBlock() const override { return 7; }
    void Close() override
    {
        if (opened)
            log.push_back("close");
        opened = false;
    }

    std::string failAt;
    std::vector<std::string> log;
    std::stop_source* stopAfterFirst = nullptr;

private:
    std::optional<UploadFailure> FailAt(const std::string& step)
    {
        if (step != failAt)
            return std::nullopt;
        UploadFailure failure;
        failure.kind = FailureKind::LinkLost;
        failure.cause = "scripted";
        return failure;
    }

    bool opened = false;
};

class Recorder final : public pyrrow::upload::UploadObserver {
public:
    void OnProgressStart(std::uint64_t total) override { log.push_back("start " + std::to_string(total)); }
    void OnProgress(std::uint64_t done, std::uint64_t total) override
    {
        log.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void OnFailure(const UploadFailure& f) override
    {
        log.push_back(std::string("failed ") + pyrrow::upload::KindName(f.kind) + " phase " +
                      std::to_string(static_cast<int>(f.phase)) + " block " + std::to_string(f.block) + " offset " +
                      std::to_string(f.offset));
    }
    void OnProgressEnd() override { log.push_back("end"); }

    std::vector<std::string> log;
};

struct EngineCase {
    const char* name;
    std::size_t fileSize;  // 0: no file
    std::string failAt;
    bool cancel;
    std::size_t pauses;
    std::vector<std::string> link;
    std::vector<std::string> observed;
};

// Whatever happens, the link is closed once it was opened, the progress
// ends once it started, and a failure says where it happened.
TEST(UploadEngine, EveryWayOutClosesTheLinkAndEndsTheProgress)
{
    const EngineCase cases[] = {
        {"whole file", 55, "", false, 3,
         {"open", "header 32", "block 0 10", "block 1 10", "block 2 3", "close"},
         {"start 55", "42/55", "52/55", "55/55", "end"}},
        {"link does not open", 55, "open", false, 0, {"open", "close"}, {"failed link_lost phase 0 block 0 offset 0"}},
        {"no firmware", 0, "", false, 0, {"open", "close"}, {"failed firmware_open phase 0 block 0 offset 0"}},
        {"short firmware", 20, "", false, 0, {"open", "close"},
         {"start 20", "failed firmware_too_short phase 1 block 0 offset 0", "end"}},
        {"header fails", 55, "header", false, 0, {"open", "header 32", "close"},
         {"start 55", "failed link_lost phase 1 block 0 offset 0", "end"}},
        {"second block fails", 55, "block 1", false, 1, {"open", "header 32", "block 0 10", "block 1 10", "close"},
         {"start 55", "42/55", "52/55", "failed link_lost phase 2 block 1 offset 42", "end"}},
        {"cancelled between blocks", 55, "", true, 2, {"open", "header 32", "block 0 10", "block 1 10", "close"},
         {"start 55", "42/55", "52/55", "failed cancelled phase 2 block 2 offset 52", "end"}},
    };
    for (const EngineCase& c : cases) {
        SCOPED_TRACE(c.name);
        pyrrow::test::TempDir dir;
        if (c.fileSize > 0)
            pyrrow::test::WriteBytes(dir.path() / "unit.fw", pyrrow::test::Firmware(c.fileSize));
        ScriptedLink link;
        link.failAt = c.failAt;
        std::stop_source stop;
        if (c.cancel)
            link.stopAfterFirst = &stop;
        Recorder observer;
        std::vector<unsigned> pauses;
        LinkContext context;
        context.sleep = [&pauses](unsigned ms) { pauses.push_back(ms); };
        context.cancel = stop.get_token();
        const auto failure = pyrrow::upload::RunUpload(link, dir.File("unit.fw"), observer, context);
        EXPECT_EQ(link.log, c.link);
        EXPECT_EQ(observer.log, c.observed);
        const bool told = std::any_of(observer.log.begin(), observer.log.end(),
                                      [](const std::string& entry) { return entry.starts_with("failed"); });
        EXPECT_EQ(failure.has_value(), told);
        // The link's pause follows every block that went.
        EXPECT_EQ(pauses, std::vector<unsigned>(c.pauses, 7));
    }
}

}  // namespace
