#include "upload/upload_engine.h"

#include <algorithm>
#include <array>

#include "platform/utf.h"
#include "upload/firmware_file.h"

namespace pyrrow::upload {
namespace {

// The largest block of any link: a TCP frame's data.
constexpr std::size_t kMaxBlock = 1024;

UploadFailure FileFailure(FailureKind kind, Phase phase, const std::string& action, const std::u16string& path,
                          std::string cause)
{
    UploadFailure failure;
    failure.kind = kind;
    failure.phase = phase;
    failure.action = action + " " + platform::Utf16ToUtf8Lossy(path);
    failure.cause = std::move(cause);
    return failure;
}

// Closes the link on every way out; an upload that was asked to stop is cut.
class LinkCloser {
public:
    explicit LinkCloser(Link& link) : m_link(link) {}
    ~LinkCloser()
    {
        if (m_cut)
            m_link.Cut();
        else
            m_link.Close();
    }
    LinkCloser(const LinkCloser&) = delete;
    LinkCloser& operator=(const LinkCloser&) = delete;

    // The upload ends this way.
    std::optional<UploadFailure> Ending(std::optional<UploadFailure> failure)
    {
        m_cut = failure && failure->kind == FailureKind::Cancelled;
        return failure;
    }

private:
    Link& m_link;
    bool m_cut = false;
};

// Firmware already read into memory, read in order as a file would be.
class FirmwareBytes {
public:
    explicit FirmwareBytes(std::span<const unsigned char> bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const { return m_bytes.size(); }
    bool Read(void* buffer, std::size_t size, std::size_t* read, platform::SystemError*)
    {
        *read = std::min(size, m_bytes.size() - m_position);
        std::copy_n(m_bytes.data() + m_position, *read, static_cast<unsigned char*>(buffer));
        m_position += *read;
        return true;
    }

private:
    std::span<const unsigned char> m_bytes;
    std::size_t m_position = 0;
};

// The body of an upload once link and firmware are open: header, then data.
// Source is FirmwareFile or FirmwareBytes; path names it in failures.
template <typename Source>
std::optional<UploadFailure> Transfer(Link& link, Source& file, const std::u16string& path, UploadObserver& observer,
                                      const LinkContext& context)
{
    const auto fileFailure = [&path](FailureKind kind, Phase phase, std::string cause) {
        return FileFailure(kind, phase, "read the firmware file", path, std::move(cause));
    };
    const std::uint64_t total = file.Size();
    platform::SystemError error;

    observer.OnPhase(Phase::Header);
    std::array<unsigned char, kHeaderSize> header{};
    std::size_t read = 0;
    if (!file.Read(header.data(), header.size(), &read, &error))
        return fileFailure(FailureKind::FirmwareRead, Phase::Header, error.text);
    if (read < header.size())
        return fileFailure(FailureKind::FirmwareTooShort, Phase::Header,
                           "the file has " + std::to_string(read) + " bytes, fewer than its 32-byte header");
    if (auto failure = link.ExchangeHeader(header, context)) {
        failure->phase = Phase::Header;
        failure->sent = std::min<std::uint64_t>(failure->sent, header.size());
        return failure;
    }

    observer.OnPhase(Phase::Data);
    std::array<unsigned char, kMaxBlock> block{};
    const std::size_t blockSize = std::min(link.BlockSize(), block.size());
    std::uint64_t position = kHeaderSize;
    for (std::uint32_t number = 0; position < total; ++number) {
        // Before this block is read, all before it went to the link.
        const auto beforeBlock = [&](UploadFailure failure) {
            failure.block = number;
            failure.offset = position;
            failure.sent = position;
            return failure;
        };
        if (context.cancel.stop_requested())
            return beforeBlock(
                {FailureKind::Cancelled, Phase::Data, "send block " + std::to_string(number), "asked to stop"});
        // Never more than the size taken at the start: the progress is
        // measured against it, and a file that grows is not sent past it.
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, total - position));
        if (!file.Read(block.data(), want, &read, &error) || read == 0) {
            // A file that ends early must not look like a finished upload.
            return beforeBlock(fileFailure(FailureKind::FirmwareRead, Phase::Data,
                                           read == 0 && error.text.empty()
                                               ? "the file ended after " + std::to_string(position) + " of its " +
                                                     std::to_string(total) + " bytes"
                                               : error.text));
        }
        const std::uint64_t offset = position;
        position += read;
        observer.OnProgress(position, total);
        if (auto failure = link.SendBlock(std::span(block.data(), read), number, context)) {
            failure->phase = Phase::Data;
            failure->block = number;
            failure->offset = offset;
            failure->sent = offset + std::min<std::uint64_t>(failure->sent, read);
            return failure;
        }
        if (const unsigned pause = link.PauseAfterBlock(); pause != 0)
            context.sleep(pause);
    }
    return std::nullopt;
}

// Progress from start to end around the transfer.
template <typename Source>
std::optional<UploadFailure> Finish(Link& link, Source& file, const std::u16string& path, UploadObserver& observer,
                                    const LinkContext& context)
{
    observer.OnProgressStart(file.Size());
    std::optional<UploadFailure> failure = Transfer(link, file, path, observer, context);
    if (failure)
        observer.OnFailure(*failure);
    observer.OnProgressEnd();
    return failure;
}

// Opens the link; a failure is told, and what the link opened is closed.
std::optional<UploadFailure> OpenLink(Link& link, UploadObserver& observer, const LinkContext& context)
{
    observer.OnPhase(Phase::Open);
    std::optional<UploadFailure> failure = link.Open(context);
    if (failure) {
        failure->phase = Phase::Open;
        link.Close();
        observer.OnFailure(*failure);
    }
    return failure;
}

}  // namespace

UploadFailure Link::Failure(FailureKind kind, const std::string& action, const std::string& cause) const
{
    UploadFailure failure;
    failure.kind = kind;
    failure.action = action + " " + m_target;
    failure.cause = cause;
    return failure;
}

const char* KindName(FailureKind kind)
{
    switch (kind) {
    case FailureKind::FirmwareOpen: return "firmware_open";
    case FailureKind::FirmwareTooShort: return "firmware_too_short";
    case FailureKind::FirmwareRead: return "firmware_read";
    case FailureKind::NoDevice: return "no_device";
    case FailureKind::AccessDenied: return "access_denied";
    case FailureKind::DeviceBusy: return "device_busy";
    case FailureKind::LinkSetup: return "link_setup";
    case FailureKind::HeaderSend: return "header_send";
    case FailureKind::HeaderNoAnswer: return "header_no_answer";
    case FailureKind::HeaderRejected: return "header_rejected";
    case FailureKind::BlockSend: return "block_send";
    case FailureKind::BlockNoAck: return "block_no_ack";
    case FailureKind::LinkLost: return "link_lost";
    case FailureKind::Cancelled: return "cancelled";
    case FailureKind::Host: return "host";
    }
    return "unknown";
}

std::optional<UploadFailure> RunUpload(Link& link, const std::u16string& firmwarePath, UploadObserver& observer,
                                       const LinkContext& context)
{
    std::optional<UploadFailure> failure = OpenLink(link, observer, context);
    if (failure)
        return failure;
    LinkCloser closer(link);

    FirmwareFile file;
    platform::SystemError error;
    if (!file.Open(firmwarePath, &error)) {
        failure = FileFailure(FailureKind::FirmwareOpen, Phase::Open, "open the firmware file", firmwarePath,
                              error.text);
        observer.OnFailure(*failure);
        return failure;
    }

    return closer.Ending(Finish(link, file, firmwarePath, observer, context));
}

std::optional<UploadFailure> RunUpload(Link& link, std::span<const unsigned char> firmware, UploadObserver& observer,
                                       const LinkContext& context)
{
    if (std::optional<UploadFailure> failure = OpenLink(link, observer, context))
        return failure;
    LinkCloser closer(link);
    FirmwareBytes bytes(firmware);
    return closer.Ending(Finish(link, bytes, u"(in memory)", observer, context));
}

}  // namespace pyrrow::upload
