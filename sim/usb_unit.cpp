#include "sim/usb_unit.h"

#include <iostream>

#include "sim/header_answer.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

namespace protocol = pyrrow::protocol;

}  // namespace

std::vector<unsigned char> UsbUnit::ReportDescriptor()
{
    const auto count = static_cast<unsigned char>(protocol::kUsbReportSize);
    return {
        0x06, 0x00, 0xFF,  // usage page: vendor defined
        0x09, 0x01,        // usage 1
        0xA1, 0x01,        // collection: application
        0x15, 0x00,        //   logical minimum 0
        0x26, 0xFF, 0x00,  //   logical maximum 255
        0x75, 0x08,        //   report size: 8 bits
        0x95, count,       //   report count
        0x09, 0x02,        //   usage 2
        0x81, 0x02,        //   input: data, variable, absolute
        0x95, count,       //   report count
        0x09, 0x03,        //   usage 3
        0x91, 0x02,        //   output: data, variable, absolute
        0xC0,              // end of collection
    };
}

std::unique_ptr<UsbUnit> UsbUnit::Create(EventLoop& loop, Recorder& recorder, Settings settings,
                                         std::unique_ptr<UhidDevice> device, std::string* error)
{
    UhidIdentity identity;
    identity.name = "Pyrrow simulated unit";
    identity.serial = settings.serial;
    identity.vendor = protocol::kUsbVendorId;
    identity.product = protocol::kUsbProductId;
    identity.descriptor = ReportDescriptor();
    if (!device->Create(identity, error))
        return nullptr;
    std::unique_ptr<UsbUnit> unit(new UsbUnit(loop, recorder, std::move(settings), std::move(device)));
    loop.Watch(unit->m_device->Fd(), [u = unit.get()](unsigned) { u->OnEvent(); });
    return unit;
}

UsbUnit::UsbUnit(EventLoop& loop, Recorder& recorder, Settings settings, std::unique_ptr<UhidDevice> device)
    : m_loop(loop), m_recorder(recorder), m_settings(std::move(settings)), m_device(std::move(device))
{
}

UsbUnit::~UsbUnit()
{
    Stop();
}

void UsbUnit::Stop()
{
    if (m_active)
        EndUpload("interrupted: the simulator stopped", false);
    if (m_device) {
        m_loop.Unwatch(m_device->Fd());
        m_device.reset();
    }
}

void UsbUnit::OnEvent()
{
    UhidEvent event;
    std::string error;
    if (!m_device->Read(&event, &error)) {
        std::cerr << "pyrrow-sim: " << m_settings.name << ": " << error << "\n";
        Stop();
        Done();
        return;
    }
    switch (event.type) {
    case UhidEvent::Type::Open:
        m_recorder.Event(m_settings.name, "device opened");
        break;
    case UhidEvent::Type::Close:
        m_recorder.Event(m_settings.name, "device closed");
        if (m_active)
            EndUpload("the program closed the link", true);
        break;
    case UhidEvent::Type::Output:
        Report(std::move(event.data));
        break;
    case UhidEvent::Type::SetReport:
        Report(std::move(event.data));
        if (m_device && !m_device->AcceptSetReport(event.id, &error))
            std::cerr << "pyrrow-sim: " << m_settings.name << ": " << error << "\n";
        break;
    case UhidEvent::Type::GetReport:
        if (!m_device->RefuseGetReport(event.id, &error))
            std::cerr << "pyrrow-sim: " << m_settings.name << ": " << error << "\n";
        break;
    default:
        break;
    }
}

void UsbUnit::Report(std::string payload)
{
    // The kernel hands over an output report as the host wrote it: with
    // report id 0 in front for a device without numbered reports.
    if (payload.size() == protocol::kUsbReportSize + 1 &&
        static_cast<unsigned char>(payload[0]) == protocol::kUsbReportId)
        payload.erase(0, 1);
    if (!m_active) {
        m_active = true;
        m_recorder.Event(m_settings.name, "upload started");
        if (const Fault* slow = m_settings.faults.Slow())
            m_record.faults.push_back(slow->text);
    }
    m_recorder.Received(m_settings.name, payload.data(), payload.size());
    const bool header = m_received == 0;
    m_received += payload.size();
    if (header) {
        m_record.image.append(payload, 0, std::min(payload.size(), protocol::kHeaderSize));
        AnswerHeader();
    } else {
        m_record.image += payload;
        ++m_record.frames;
    }
    const Fault* hangup = m_settings.faults.AfterBytes();
    if (hangup != nullptr && m_received >= hangup->where) {
        m_record.faults.push_back(hangup->text);
        m_broken = true;
        m_recorder.Event(m_settings.name, "device gone", hangup);
        EndUpload("the device went away after " + std::to_string(m_received) + " bytes", false);
        Stop();
        Done();
    }
}

void UsbUnit::AnswerHeader()
{
    const Fault* fault = m_settings.faults.Header();
    if (fault != nullptr) {
        m_record.faults.push_back(fault->text);
        m_broken = true;
        m_recorder.Event(m_settings.name, "header answer withheld", fault);
        return;
    }
    // Any input report answers; this one echoes the header.
    std::string answer = m_record.image;
    answer.resize(protocol::kUsbReportSize, '\0');
    auto send = [this, answer] {
        std::string error;
        if (!m_device->SendInput(answer, &error)) {
            m_broken = true;
            std::cerr << "pyrrow-sim: " << m_settings.name << ": " << error << "\n";
            return;
        }
        m_recorder.Sent(m_settings.name, answer.data(), answer.size(), nullptr);
        m_headerAnswered = true;
    };
    const auto delay = SlowDelay(m_settings.faults.SlowFactor());
    if (delay.count() == 0) {
        send();
        return;
    }
    ++m_answersPending;
    m_timers.push_back(m_loop.After(delay, [this, send] {
        --m_answersPending;
        send();
    }));
}

void UsbUnit::EndUpload(const std::string& how, bool byProgram)
{
    for (const EventLoop::TimerId t : m_timers)
        m_loop.Cancel(t);
    m_timers.clear();
    m_record.end = how;
    m_record.cleanEnd = byProgram && m_headerAnswered && !m_broken && m_answersPending == 0;
    UploadRecord record = std::exchange(m_record, UploadRecord{});
    m_active = false;
    m_received = 0;
    m_headerAnswered = false;
    m_broken = false;
    m_answersPending = 0;
    m_recorder.UploadEnded(m_settings.name, std::move(record));
    if (m_settings.once)
        Done();
}

void UsbUnit::Done()
{
    if (m_done)
        return;
    m_done = true;
    if (m_settings.onDone)
        m_settings.onDone();
}

}  // namespace pyrrow::sim
