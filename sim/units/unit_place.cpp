#include "sim/units/unit_place.h"

namespace pyrrow::sim {

UnitPlace::UnitPlace(asio::io_context& io, Recorder& recorder, Settings settings)
    : m_recorder(recorder), m_settings(std::move(settings)), m_timer(io)
{
}

UnitPlace::~UnitPlace()
{
    Stop();
}

std::function<void()> UnitPlace::OnDone()
{
    return [this] { UnitDone(); };
}

void UnitPlace::Start(std::unique_ptr<Unit> first, Maker make)
{
    m_unit = std::move(first);
    m_make = std::move(make);
    m_number = 1;
    if (m_settings.units != 0)
        m_recorder.Arrived(m_settings.name, m_number, m_settings.units, m_unit->Where());
}

void UnitPlace::Stop()
{
    m_timer.Cancel();
    if (m_unit) {
        m_unit->Stop();
        m_unit.reset();
    }
}

void UnitPlace::UnitDone()
{
    if (m_settings.units == 0 || m_number >= m_settings.units) {
        if (!m_finished) {
            m_finished = true;
            m_settings.onFinished({});
        }
        return;
    }
    // The unit calls from inside its own handler: it goes once that has
    // returned.
    m_timer.After(Timer::Clock::duration::zero(), [this] {
        m_unit->Stop();
        m_unit.reset();
        m_recorder.Left(m_settings.name, m_number, m_settings.units,
                        static_cast<double>(m_settings.gap.count()) / 1000);
        m_timer.After(m_settings.gap, [this] { Arrive(); });
    });
}

void UnitPlace::Arrive()
{
    platform::SystemError error;
    m_unit = m_make(m_number + 1, &error);
    if (!m_unit) {
        m_finished = true;
        m_settings.onFinished(m_settings.name + ": unit " + std::to_string(m_number + 1) +
                              " cannot come: " + error.text);
        return;
    }
    ++m_number;
    m_recorder.Arrived(m_settings.name, m_number, m_settings.units, m_unit->Where());
    m_settings.onArrived(m_unit->Where());
}

}  // namespace pyrrow::sim
