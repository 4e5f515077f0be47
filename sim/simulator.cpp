#include "sim/simulator.h"

#include <cmath>
#include <memory>
#include <ostream>
#include <stop_token>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "platform/process/stop_requests.h"
#include "sim/recorder.h"
#include "sim/system.h"
#include "sim/units/serial_unit.h"
#include "sim/units/tcp_unit.h"
#include "sim/units/unit_place.h"
#include "sim/units/usb_unit.h"
#include "upload/protocol.h"

namespace pyrrow::sim {
namespace {

// How far past the default port the simulator looks for free ones.
constexpr unsigned kPortSearch = 100;

std::string UnitName(Link link, unsigned index)
{
    return std::string(LinkName(link)) + "-" + std::to_string(index);
}

std::chrono::milliseconds Milliseconds(double seconds)
{
    return std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000)));
}

// What the arrival-th unit (from 1) at the index-th place is told.
UnitSettings Told(const Options& o, unsigned index, unsigned arrival, UnitPlace& place)
{
    // The unit a fault's @unit=N names: with --units, the N-th unit to come
    // to each place; otherwise the N-th place (TCP unit of --count).
    const unsigned faultUnit = o.units != 0 ? arrival : index;
    return {UnitName(o.link, index), FaultPlan(o.faults, faultUnit), o.once || o.units != 0, place.OnDone()};
}

TcpUnit::Settings TcpSettings(const Options& o, unsigned index, unsigned arrival, std::uint16_t port,
                              UnitPlace& place)
{
    TcpUnit::Settings s;
    static_cast<UnitSettings&>(s) = Told(o, index, arrival, place);
    s.host = o.host;
    s.port = port;
    s.idleTimeout = Milliseconds(o.idleTimeout);
    return s;
}

// The first unit of each place, on consecutive ports from first (0: each
// where the system chooses). False when one cannot be made; *inUse tells
// whether a port was taken.
bool MakeTcpUnits(const Options& o, std::uint16_t first, asio::io_context& io, Recorder& recorder,
                  std::vector<std::unique_ptr<UnitPlace>>& places, std::vector<std::unique_ptr<TcpUnit>>* units,
                  platform::SystemError* error, bool* inUse)
{
    units->clear();
    for (unsigned i = 0; i < o.count; ++i) {
        if (first != 0 && first + i > 65535) {
            error->text = "no room for " + std::to_string(o.count) + " ports from " + std::to_string(first);
            *inUse = false;
            return false;
        }
        const auto port = first == 0 ? std::uint16_t{0} : static_cast<std::uint16_t>(first + i);
        std::unique_ptr<TcpUnit> unit =
            TcpUnit::Create(io, recorder, TcpSettings(o, i + 1, 1, port, *places[i]), error, inUse);
        if (!unit) {
            units->clear();
            return false;
        }
        units->push_back(std::move(unit));
    }
    return true;
}

// Makes the places of the link and their first units. False, with the
// reason in *error, when one cannot be made.
bool MakePlaces(const Options& o, asio::io_context& io, Recorder& recorder,
                std::vector<std::unique_ptr<UnitPlace>>& places, platform::SystemError* error)
{
    UnitPlace::Maker make;
    switch (o.link) {
    case Link::Tcp: {
        std::vector<std::unique_ptr<TcpUnit>> units;
        bool inUse = false;
        bool made = MakeTcpUnits(o, o.port.value_or(protocol::kTcpDefaultPort), io, recorder, places, &units, error,
                                 &inUse);
        // The default port is only a first choice: take the next free ones.
        for (unsigned step = 1; !made && inUse && !o.port && step < kPortSearch; ++step)
            made = MakeTcpUnits(o, static_cast<std::uint16_t>(protocol::kTcpDefaultPort + step), io, recorder,
                                places, &units, error, &inUse);
        if (!made)
            return false;
        for (unsigned i = 0; i < o.count; ++i) {
            // A unit coming later takes the port of the first.
            const std::uint16_t port = units[i]->Port();
            UnitPlace* place = places[i].get();
            recorder.AddUnit(UnitName(Link::Tcp, i + 1), Link::Tcp, units[i]->Where());
            place->Start(std::move(units[i]), [&o, &io, &recorder, i, port, place](unsigned number,
                                                                                       platform::SystemError* why) {
                bool taken = false;
                return std::unique_ptr<Unit>(
                    TcpUnit::Create(io, recorder, TcpSettings(o, i + 1, number, port, *place), why, &taken));
            });
        }
        return true;
    }
    case Link::Serial:
        make = [&o, &io, &recorder, place = places[0].get()](unsigned number, platform::SystemError* why) {
            SerialUnit::Settings s;
            static_cast<UnitSettings&>(s) = Told(o, 1, number, *place);
            s.port = o.serialPort;
            s.link = o.linkPath;
            s.lineRate = o.lineRate;
            return std::unique_ptr<Unit>(SerialUnit::Create(io, recorder, std::move(s), why));
        };
        break;
    case Link::Usb:
        make = [&o, &io, &recorder, place = places[0].get()](unsigned number, platform::SystemError* why) {
            UsbUnit::Settings s;
            static_cast<UnitSettings&>(s) = Told(o, 1, number, *place);
            // A serial number of its own, which no unit of another simulator
            // running at the same time has: a program selects it with the
            // address printed, and finds exactly this unit.
            s.serial = "PYRROW-SIM-" + std::to_string(ProcessId()) + "-" + std::to_string(number);
            return UsbUnit::Open(io, recorder, std::move(s), o.uhidPath, why);
        };
        break;
    }
    // The one place of a serial or USB unit.
    std::unique_ptr<Unit> first = make(1, error);
    if (!first)
        return false;
    recorder.AddUnit(UnitName(o.link, 1), o.link, first->Where());
    places[0]->Start(std::move(first), make);
    return true;
}

}  // namespace

int RunSimulator(const Options& o, std::stop_source& stop, platform::StopRequests& requests, std::ostream& out,
                 std::ostream& err)
{
    // A stopped run whose last lines cannot be written still ends with its code.
    const auto fail = [&](const std::string& why) {
        requests.SetExitCode(kExitUsage);
        err << "pyrrow-sim: " << why << "\n";
        return kExitUsage;
    };
    if (requests.Failure())
        return fail(requests.Failure()->text);
    Recorder::Opened opened = Recorder::Open(Recorder::Options{o.storeDir, o.traceFile, o.expectFile});
    if (!opened.recorder)
        return fail(opened.problem);
    const std::unique_ptr<Recorder> recorder = std::move(opened.recorder);

    const unsigned required = o.units != 0 ? o.units : o.once ? 1 : 0;
    bool setUpFailed = false;
    // What the run ends with, were it to end now.
    const auto verdict = [&] {
        if (setUpFailed)
            return kExitUsage;
        if (recorder->RecordFailed())
            return kExitRecordFailed;
        return recorder->EveryUploadAsExpected(required) ? kExitOk : kExitIncomplete;
    };
    recorder->OnChange([&] { requests.SetExitCode(verdict()); });
    requests.SetExitCode(verdict());
    const auto keepTrace = requests.KeepSynced([&recorder] { recorder->SyncTrace(); });

    asio::io_context io;
    // Runs until a stop: a unit that only holds its port waits for nothing.
    const auto work = asio::make_work_guard(io);
    const unsigned placeCount = o.link == Link::Tcp ? o.count : 1;
    unsigned placesLeft = placeCount;
    std::vector<std::unique_ptr<UnitPlace>> places;
    for (unsigned i = 0; i < placeCount; ++i) {
        UnitPlace::Settings s;
        s.name = UnitName(o.link, i + 1);
        s.units = o.units;
        s.gap = Milliseconds(o.gap);
        // Scripts read where to connect from these lines: flush each at once.
        s.onArrived = [&out](const std::string& where) { out << where << "\n" << std::flush; };
        s.onFinished = [&](const std::string& why) {
            if (!why.empty()) {
                setUpFailed = true;
                requests.SetExitCode(verdict());
                err << "pyrrow-sim: " << why << "\n";
                io.stop();
            } else if (--placesLeft == 0) {
                io.stop();
            }
        };
        places.push_back(std::make_unique<UnitPlace>(io, *recorder, std::move(s)));
    }
    platform::SystemError error;
    if (!MakePlaces(o, io, *recorder, places, &error))
        return fail(error.text);
    requests.SetExitCode(verdict());  // the units are known
    // Where each first unit is: the first lines, flushed at once.
    for (unsigned i = 0; i < placeCount; ++i)
        out << places[i]->Where() << "\n";
    out.flush();

    // The simulator ends between two handlers, never inside one.
    const std::stop_callback onStop(stop.get_token(), [&] {
        asio::post(io, [&] {
            err << "pyrrow-sim: " << requests.What() << ", stopping\n";
            io.stop();
        });
    });
    {
        const FineTimers fine;
        io.run();
    }
    // An upload still running ends here, out of order.
    for (auto& p : places)
        p->Stop();
    const int code = verdict();
    requests.SetExitCode(code);
    if (o.json)
        out << recorder->SummaryJson(code) << "\n" << std::flush;
    return code;
}

}  // namespace pyrrow::sim
