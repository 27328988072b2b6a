#pragma once

#include <QTime>

namespace platform {

// Where the failure log takes its time of day from; tests set the hands.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QTime timeOfDay() const noexcept = 0;
};

// The local wall clock.
class SystemClock final : public Clock
{
public:
    QTime timeOfDay() const noexcept override;
};

} // namespace platform
