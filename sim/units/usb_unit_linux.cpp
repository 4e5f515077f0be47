#include "sim/units/usb_unit.h"

#include <iostream>

#include "sim/units/header_answer.h"
#include "upload/protocol.h"

namespace pyrrow::sim {

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

std::unique_ptr<Unit> UsbUnit::Open(asio::io_context& io, Recorder& recorder, Settings settings,
                                    const std::string& uhidPath, platform::SystemError* error)
{
    std::unique_ptr<UhidDevice> device = UhidDevice::Open(io, uhidPath, error);
    return device ? Create(io, recorder, std::move(settings), std::move(device), error) : nullptr;
}

std::unique_ptr<UsbUnit> UsbUnit::Create(asio::io_context& io, Recorder& recorder, Settings settings,
                                         std::unique_ptr<UhidDevice> device, platform::SystemError* error)
{
    UhidIdentity identity;
    identity.name = "Pyrrow simulated unit";
    identity.serial = settings.serial;
    identity.vendor = protocol::kUsbVendorId;
    identity.product = protocol::kUsbProductId;
    identity.descriptor = ReportDescriptor();
    if (!device->Create(identity, error))
        return nullptr;
    std::unique_ptr<UsbUnit> unit(new UsbUnit(io, recorder, std::move(settings), std::move(device)));
    unit->m_device->AwaitEvent([u = unit.get()] { u->OnEvents(); });
    return unit;
}

UsbUnit::UsbUnit(asio::io_context& io, Recorder& recorder, Settings settings, std::unique_ptr<UhidDevice> device)
    : Unit(settings.onDone), m_io(io), m_recorder(recorder), m_settings(std::move(settings)),
      m_device(std::move(device))
{
}

UsbUnit::~UsbUnit()
{
    Stop();
}

void UsbUnit::Stop()
{
    if (m_upload)
        EndUpload("interrupted: the simulator stopped", false);
    m_device.reset();
}

void UsbUnit::Complain(const platform::SystemError& error)
{
    std::cerr << "pyrrow-sim: " << m_settings.name << ": " << error.text << "\n";
}

void UsbUnit::OnEvents()
{
    while (m_device && !IsDone()) {
        UhidEvent event;
        platform::SystemError error;
        if (!m_device->Read(&event, &error)) {
            Complain(error);
            Stop();
            Done();
            return;
        }
        if (event.type == UhidEvent::Type::None) {
            m_device->AwaitEvent([this] { OnEvents(); });
            return;
        }
        OnEvent(std::move(event));
    }
}

void UsbUnit::OnEvent(UhidEvent event)
{
    platform::SystemError error;
    switch (event.type) {
    case UhidEvent::Type::Open:
        m_recorder.Event(m_settings.name, "device opened");
        break;
    case UhidEvent::Type::Close:
        m_recorder.Event(m_settings.name, "device closed");
        if (m_upload)
            EndUpload("the program closed the link", true);
        break;
    case UhidEvent::Type::Output:
        Report(std::move(event.data));
        break;
    case UhidEvent::Type::SetReport:
        Report(std::move(event.data));
        if (m_device && !m_device->AcceptSetReport(event.id, &error))
            Complain(error);
        break;
    case UhidEvent::Type::GetReport:
        if (!m_device->RefuseGetReport(event.id, &error))
            Complain(error);
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
    if (!m_upload) {
        m_upload = std::make_unique<UnitUpload>(m_io, m_settings.faults);
        m_recorder.Event(m_settings.name, "upload started");
    }
    UnitUpload& upload = *m_upload;
    m_recorder.Received(m_settings.name, payload.data(), payload.size());
    const bool header = upload.received == 0;
    upload.received += payload.size();
    if (header) {
        upload.record.image.append(payload, 0, std::min(payload.size(), protocol::kHeaderSize));
        AnswerHeader();
    } else {
        upload.record.image += payload;
        ++upload.record.frames;
    }
    const Fault* hangup = m_settings.faults.AfterBytes();
    if (hangup != nullptr && upload.received >= hangup->where) {
        upload.Hit(*hangup);
        m_recorder.Event(m_settings.name, "device gone", hangup);
        EndUpload("the device went away after " + std::to_string(upload.received) + " bytes", false);
        Stop();
        Done();
    }
}

void UsbUnit::AnswerHeader()
{
    UnitUpload& upload = *m_upload;
    if (const Fault* fault = m_settings.faults.Header()) {
        upload.Hit(*fault);
        m_recorder.Event(m_settings.name, "header answer withheld", fault);
        return;
    }
    // Any input report answers; this one echoes the header.
    std::string answer = upload.record.image;
    answer.resize(protocol::kUsbReportSize, '\0');
    upload.Answer(SlowDelay(m_settings.faults.SlowFactor()), [this, answer] {
        platform::SystemError error;
        if (!m_device->SendInput(answer, &error)) {
            m_upload->Break("the header's answer did not go out: " + error.text);
            Complain(error);
            return;
        }
        m_recorder.Sent(m_settings.name, answer.data(), answer.size(), nullptr);
        m_upload->headerAnswered = true;
    });
}

void UsbUnit::EndUpload(const std::string& how, bool byProgram)
{
    const std::unique_ptr<UnitUpload> upload = std::move(m_upload);
    m_recorder.UploadEnded(m_settings.name, upload->End(how, byProgram));
    if (m_settings.once)
        Done();
}

}  // namespace pyrrow::sim
