// The upload engine: the one place that knows the order of an upload's steps
// (open the link, open the firmware, send the header and wait for its answer,
// stream the data in blocks with the link's pacing, close everything). It
// knows no window: it reports to an observer, and the window and the
// command-line tool each adapt it to what they show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <utility>

#include "upload/protocol.h"

namespace pyrrow::upload {

// Where an upload is.
enum class Phase {
    Open,    // opening the link and the firmware file
    Header,  // sending the firmware header and waiting for its answer
    Data,    // streaming the data blocks
};

// Why an upload failed, as far as whoever tries again needs to know.
enum class FailureKind {
    FirmwareOpen,      // the firmware file is missing or cannot be read
    FirmwareTooShort,  // the file ends before its 32-byte header does
    FirmwareRead,      // reading the file failed, or it ended early, mid-upload
    NoDevice,          // no such port or unit, or nothing accepts the connection
    AccessDenied,      // the system refused access to the device
    DeviceBusy,        // another program holds the port or device
    LinkSetup,         // the link refused its settings
    HeaderSend,        // the header could not be sent whole
    HeaderNoAnswer,    // the device did not answer the header
    HeaderRejected,    // the answer had the wrong length, echo or status
    BlockSend,         // a block could not be sent whole
    BlockNoAck,        // a block was not acknowledged
    LinkLost,          // the device went away
    Cancelled,         // asked to stop
    Host,              // this host failed: it lacked descriptors, memory or locks, or a wait call failed
};

// Short stable names of the kinds ("no_device", "header_no_answer", ...).
const char* KindName(FailureKind kind);

struct UploadFailure {
    FailureKind kind = FailureKind::LinkLost;
    Phase phase = Phase::Open;
    std::string action;  // what was tried on what: "open /dev/ttyUSB0"
    std::string cause;   // the system's or the device's reason
    // Where it happened in the data (meaningful in the data phase): the
    // block's number from 0 and its offset in the file.
    std::uint32_t block = 0;
    std::uint64_t offset = 0;
    // The bytes of the file that went to the link before it failed, the
    // header included: what the unit may hold. A link counts what it wrote
    // of the header or of the block it was given (a TCP frame that went but
    // was not acknowledged counts whole); the engine adds the bytes of the
    // blocks before.
    std::uint64_t sent = 0;
};

class UploadObserver {
public:
    virtual ~UploadObserver() = default;
    virtual void OnPhase(Phase) {}
    // Once the firmware is open and measured, before the header is sent.
    virtual void OnProgressStart(std::uint64_t /*total*/) {}
    // Before each block is sent: the header and every block so far, this
    // one included.
    virtual void OnProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // At the moment an upload fails, before its progress ends.
    virtual void OnFailure(const UploadFailure&) {}
    // When the upload ends either way, provided its progress started.
    virtual void OnProgressEnd() {}
};

// What a link takes from whoever runs it.
struct LinkContext {
    // The protocol's pauses.
    std::function<void(unsigned milliseconds)> sleep;
    // Asked to stop: the upload ends between blocks and between the polls of
    // a wait.
    std::stop_token cancel;
    // Every exchange on the wire, when set: sent (true) or received.
    std::function<void(bool sent, std::span<const unsigned char> bytes)> trace;
};

// One link to a device. Each call that fails returns what went wrong;
// nothing means it worked.
class Link {
public:
    virtual ~Link() = default;
    virtual std::optional<UploadFailure> Open(const LinkContext& context) = 0;
    // Sends the 32-byte firmware header and waits for the device's answer.
    virtual std::optional<UploadFailure> ExchangeHeader(std::span<const unsigned char> header,
                                                        const LinkContext& context) = 0;
    // Data bytes per block.
    virtual std::size_t BlockSize() const = 0;
    // Sends one block (and waits for its acknowledgement where the link has one).
    virtual std::optional<UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                                   const LinkContext& context) = 0;
    // The pause after each block, in milliseconds; 0 for none.
    virtual unsigned PauseAfterBlock() const = 0;
    // Closes what Open opened; harmless when nothing is open.
    virtual void Close() = 0;
    // Closes after an upload that was asked to stop, so that the device sees
    // it cut short where the link can say so (TCP: a reset instead of an
    // orderly close); the others close as Close does.
    virtual void Cut() { Close(); }

protected:
    // target names the device in the failures: "/dev/ttyUSB0".
    explicit Link(std::string target = {}) : m_target(std::move(target)) {}
    // A failure of action on the device, as "open /dev/ttyUSB0".
    UploadFailure Failure(FailureKind kind, const std::string& action, const std::string& cause) const;
    // The failure with the bytes of this step's header or block that went
    // to the link before it.
    static UploadFailure Sent(UploadFailure failure, std::size_t bytes)
    {
        failure.sent = bytes;
        return failure;
    }

private:
    std::string m_target;
};

using protocol::kHeaderSize;

// Runs one upload of the firmware file over the link. Nothing on success.
std::optional<UploadFailure> RunUpload(Link& link, const std::u16string& firmwarePath, UploadObserver& observer,
                                       const LinkContext& context);
// The same with the firmware's bytes read beforehand: the command-line tool
// reads the file once, checks it and sends the same bytes to every unit
// (the file is opened for one reader at a time).
std::optional<UploadFailure> RunUpload(Link& link, std::span<const unsigned char> firmware, UploadObserver& observer,
                                       const LinkContext& context);

}  // namespace pyrrow::upload
