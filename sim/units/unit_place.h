// One place where simulated units stand, as a fixture of a production line:
// the unit there now, and, when the place has a count of units, each one
// going away after its upload and the next taking its place after a gap,
// until the count is reached.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <asio/io_context.hpp>

#include "platform/system_error.h"
#include "sim/recorder.h"
#include "sim/timer.h"
#include "sim/units/unit.h"

namespace pyrrow::sim {

class UnitPlace {
public:
    struct Settings {
        std::string name;  // "tcp-1", the name of every unit there
        unsigned units = 0;  // 0: one unit, which stays
        std::chrono::milliseconds gap{0};
        // Each new unit after the first: where it is (printed for scripts).
        std::function<void(const std::string& where)> onArrived;
        // The place takes no more uploads; error says why when the next
        // unit could not be made.
        std::function<void(const std::string& error)> onFinished;
    };
    // Makes the next unit, the number-th to come here (from 1), which calls
    // OnDone() when it takes no more uploads. Null, with the reason in
    // *error, on failure.
    using Maker = std::function<std::unique_ptr<Unit>(unsigned number, platform::SystemError* error)>;

    UnitPlace(asio::io_context& io, Recorder& recorder, Settings settings);
    ~UnitPlace();
    UnitPlace(const UnitPlace&) = delete;
    UnitPlace& operator=(const UnitPlace&) = delete;

    // What a unit of this place calls when it is done.
    std::function<void()> OnDone();
    // The first unit (number 1) is there; make gives the ones after it.
    void Start(std::unique_ptr<Unit> first, Maker make);
    // Where the unit there is; empty between two units.
    std::string Where() const { return m_unit ? m_unit->Where() : std::string(); }
    // Ends the unit there, if any, and the coming of others.
    void Stop();

private:
    void UnitDone();
    void Arrive();

    Recorder& m_recorder;
    Settings m_settings;
    Maker m_make;
    std::unique_ptr<Unit> m_unit;
    unsigned m_number = 0;  // of the unit there or last there, from 1
    Timer m_timer;
    bool m_finished = false;
};

}  // namespace pyrrow::sim
