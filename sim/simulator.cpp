#include "sim/simulator.h"

#include <memory>
#include <ostream>
#include <vector>

#include "sim/event_loop.h"
#include "sim/recorder.h"
#include "sim/serial_unit.h"
#include "sim/stop_signals.h"
#include "sim/tcp_unit.h"
#include "sim/usb_unit.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

// How far past the default port the simulator looks for free ones.
constexpr unsigned kPortSearch = 100;

// The running units of one link; each tells where the program finds it.
struct Units {
    std::vector<std::unique_ptr<TcpUnit>> tcp;
    std::unique_ptr<SerialUnit> serial;
    std::unique_ptr<UsbUnit> usb;

    void Stop()
    {
        for (auto& u : tcp)
            u->Stop();
        if (serial)
            serial->Stop();
        if (usb)
            usb->Stop();
    }
};

std::string UnitName(Link link, unsigned index)
{
    return std::string(LinkName(link)) + "-" + std::to_string(index);
}

// count units on consecutive ports from first (0: each where the system
// chooses). False when one cannot be made; *inUse tells whether a port was taken.
bool MakeTcpUnits(const Options& o, std::uint16_t first, EventLoop& loop, Recorder& recorder,
                  const std::function<void()>& onDone, Units* units, std::string* error, bool* inUse)
{
    units->tcp.clear();
    for (unsigned i = 0; i < o.count; ++i) {
        TcpUnit::Settings s;
        s.name = UnitName(Link::Tcp, i + 1);
        s.host = o.host;
        if (first != 0 && first + i > 65535) {
            *error = "no room for " + std::to_string(o.count) + " ports from " + std::to_string(first);
            *inUse = false;
            return false;
        }
        s.port = first == 0 ? 0 : static_cast<std::uint16_t>(first + i);
        s.faults = FaultPlan(o.faults, i + 1);
        s.once = o.once;
        s.onDone = onDone;
        std::unique_ptr<TcpUnit> unit = TcpUnit::Create(loop, recorder, std::move(s), error, inUse);
        if (!unit) {
            units->tcp.clear();
            return false;
        }
        units->tcp.push_back(std::move(unit));
    }
    return true;
}

}  // namespace

int RunSimulator(const Options& o, std::ostream& out, std::ostream& err)
{
    std::string error;
    const std::unique_ptr<StopSignals> signals = StopSignals::Open(&error);
    const std::unique_ptr<Recorder> recorder =
        signals ? Recorder::Open(Recorder::Options{o.storeDir, o.traceFile}, &error) : nullptr;
    if (!recorder) {
        err << "pyrrow-sim: " << error << "\n";
        return kExitUsage;
    }

    EventLoop loop;
    std::size_t unitsLeft = o.link == Link::Tcp ? o.count : 1;
    const std::function<void()> onDone = [&loop, &unitsLeft] {
        if (--unitsLeft == 0)
            loop.Stop();
    };
    Units units;
    std::vector<std::string> where;
    switch (o.link) {
    case Link::Tcp: {
        bool inUse = false;
        bool made = MakeTcpUnits(o, o.port.value_or(protocol::kTcpDefaultPort), loop, *recorder, onDone, &units,
                                 &error, &inUse);
        // The default port is only a first choice: take the next free ones.
        for (unsigned step = 1; !made && inUse && !o.port && step < kPortSearch; ++step)
            made = MakeTcpUnits(o, static_cast<std::uint16_t>(protocol::kTcpDefaultPort + step), loop, *recorder,
                                onDone, &units, &error, &inUse);
        if (!made) {
            err << "pyrrow-sim: " << error << "\n";
            return kExitUsage;
        }
        for (std::size_t i = 0; i < units.tcp.size(); ++i) {
            recorder->AddUnit(UnitName(Link::Tcp, static_cast<unsigned>(i + 1)), Link::Tcp, units.tcp[i]->Address());
            where.push_back(units.tcp[i]->Address());
        }
        break;
    }
    case Link::Serial: {
        SerialUnit::Settings s;
        s.name = UnitName(Link::Serial, 1);
        s.port = o.serialPort;
        s.link = o.linkPath;
        s.lineRate = o.lineRate;
        s.faults = FaultPlan(o.faults, 1);
        s.once = o.once;
        s.onDone = onDone;
        units.serial = SerialUnit::Create(loop, *recorder, std::move(s), &error);
        if (!units.serial) {
            err << "pyrrow-sim: " << error << "\n";
            return kExitUsage;
        }
        recorder->AddUnit(UnitName(Link::Serial, 1), Link::Serial, units.serial->Path());
        where.push_back(units.serial->Path());
        break;
    }
    case Link::Usb: {
        std::unique_ptr<UhidDevice> device = UhidDevice::Open(o.uhidPath, &error);
        UsbUnit::Settings s;
        s.name = UnitName(Link::Usb, 1);
        s.serial = "PYRROW-SIM-1";
        s.faults = FaultPlan(o.faults, 1);
        s.once = o.once;
        s.onDone = onDone;
        if (device)
            units.usb = UsbUnit::Create(loop, *recorder, s, std::move(device), &error);
        if (!units.usb) {
            err << "pyrrow-sim: " << error << "\n";
            return kExitUsage;
        }
        recorder->AddUnit(s.name, Link::Usb, "usb:serial=" + s.serial);
        where.push_back("usb:serial=" + s.serial);
        break;
    }
    }
    // Scripts read where to connect from the first lines: flush them at once.
    for (const std::string& w : where)
        out << w << "\n";
    out.flush();

    loop.Watch(signals->Fd(), [&](unsigned) {
        err << "pyrrow-sim: " << signals->Take() << ", stopping\n";
        loop.Stop();
    });
    const bool ran = loop.Run(&error);
    units.Stop();
    if (!ran) {
        err << "pyrrow-sim: " << error << "\n";
        return kExitUsage;
    }
    const int code = o.once && !recorder->EveryUnitComplete() ? kExitIncomplete : kExitOk;
    if (o.json) {
        out << recorder->SummaryJson(code) << "\n";
        out.flush();
    }
    return code;
}

}  // namespace pyrrow::sim
