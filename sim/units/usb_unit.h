// One simulated unit on USB: a HID device with the product's ids and 64-byte
// input and output reports, played through the kernel's user-space HID
// interface. It answers the header report with an input report and collects
// the reports that follow until the program closes the device.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "sim/faults.h"
#include "sim/lines/uhid.h"
#include "sim/recorder.h"
#include "sim/units/unit.h"
#include "sim/units/unit_upload.h"

namespace pyrrow::sim {

class UsbUnit final : public Unit {
public:
    struct Settings : UnitSettings {
        std::string serial;  // the device's serial number
    };

    // The report descriptor: one vendor-defined collection with a 64-byte
    // input and a 64-byte output report, no report ids.
    static std::vector<unsigned char> ReportDescriptor();

    // Opens the interface at uhidPath (normally /dev/uhid) and creates the
    // unit's device on it. Null, with the reason in *error, on failure; on
    // Windows, which has no such interface, always (usb_unit_win.cpp).
    static std::unique_ptr<Unit> Open(asio::io_context& io, Recorder& recorder, Settings settings,
                                      const std::string& uhidPath, platform::SystemError* error);
    // Creates the device on the interface. Null, with the reason in *error,
    // on failure.
    static std::unique_ptr<UsbUnit> Create(asio::io_context& io, Recorder& recorder, Settings settings,
                                           std::unique_ptr<UhidDevice> device, platform::SystemError* error);
    ~UsbUnit() override;
    UsbUnit(const UsbUnit&) = delete;
    UsbUnit& operator=(const UsbUnit&) = delete;

    std::string Where() const override { return "usb:serial=" + m_settings.serial; }
    // Ends what runs and removes the device.
    void Stop() override;

private:
    UsbUnit(asio::io_context& io, Recorder& recorder, Settings settings, std::unique_ptr<UhidDevice> device);
    // Takes every event that waits, and waits again.
    void OnEvents();
    void OnEvent(UhidEvent event);
    void Report(std::string payload);
    void AnswerHeader();
    void EndUpload(const std::string& how, bool byProgram);
    void Complain(const platform::SystemError& error);

    asio::io_context& m_io;
    Recorder& m_recorder;
    Settings m_settings;
    std::unique_ptr<UhidDevice> m_device;
    std::unique_ptr<UnitUpload> m_upload;  // the upload that runs, from the program's first report
};

}  // namespace pyrrow::sim
