#pragma once

#include <QTime>

#include <chrono>

namespace platform {

// Where the failure log takes its time of day from; tests set the hands.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QTime timeOfDay() const noexcept = 0;
    // The wall clock, for what is kept with its date.
    virtual std::chrono::system_clock::time_point now() const noexcept = 0;
};

// The local wall clock.
class SystemClock final : public Clock
{
public:
    QTime timeOfDay() const noexcept override;
    std::chrono::system_clock::time_point now() const noexcept override;
};

} // namespace platform
