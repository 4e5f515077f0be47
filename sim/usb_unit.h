// One simulated unit on USB: a HID device with the product's ids and 64-byte
// input and output reports, played through the kernel's user-space HID
// interface. It answers the header report with an input report and collects
// the reports that follow until the program closes the device.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/event_loop.h"
#include "sim/faults.h"
#include "sim/recorder.h"
#include "sim/uhid.h"
#include "sim/unit.h"

namespace pyrrow::sim {

class UsbUnit final : public Unit {
public:
    struct Settings {
        std::string name;    // "usb-1"
        std::string serial;  // the device's serial number
        FaultPlan faults;
        bool once = false;             // stop after the first upload
        std::function<void()> onDone;  // called when the unit takes no more uploads
    };

    // The report descriptor: one vendor-defined collection with a 64-byte
    // input and a 64-byte output report, no report ids.
    static std::vector<unsigned char> ReportDescriptor();

    // Creates the device on the interface. Null, with the reason in *error,
    // on failure.
    static std::unique_ptr<UsbUnit> Create(EventLoop& loop, Recorder& recorder, Settings settings,
                                           std::unique_ptr<UhidDevice> device, std::string* error);
    ~UsbUnit() override;
    UsbUnit(const UsbUnit&) = delete;
    UsbUnit& operator=(const UsbUnit&) = delete;

    std::string Where() const override { return "usb:serial=" + m_settings.serial; }
    // Ends what runs and removes the device.
    void Stop() override;

private:
    UsbUnit(EventLoop& loop, Recorder& recorder, Settings settings, std::unique_ptr<UhidDevice> device);
    void OnEvent();
    void Report(std::string payload);
    void AnswerHeader();
    void EndUpload(const std::string& how, bool byProgram);
    void Done();

    EventLoop& m_loop;
    Recorder& m_recorder;
    Settings m_settings;
    std::unique_ptr<UhidDevice> m_device;
    bool m_done = false;

    // The upload that runs, from the program's first report.
    bool m_active = false;
    std::uint64_t m_received = 0;
    bool m_headerAnswered = false;
    bool m_broken = false;
    int m_answersPending = 0;
    std::vector<EventLoop::TimerId> m_timers;
    UploadRecord m_record;
};

}  // namespace pyrrow::sim
