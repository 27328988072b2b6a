#pragma once

#include "echowatch/platform/clock.h"
#include "echowatch/platform/desktop_notifications.h"
#include "echowatch/window/form1.h"
#include "echowatch/window/probe_runner.h"
#include "support/fake_services.h"

#include <QTime>

#include <vector>

namespace fakes {

class Clock final : public platform::Clock
{
public:
    QTime timeOfDay() const noexcept override { return time; }
    std::chrono::system_clock::time_point now() const noexcept override { return wallTime; }

    QTime time{13, 4, 5};
    std::chrono::system_clock::time_point wallTime{std::chrono::seconds{1'800'000'000}};
};

// A desktop whose notification service is there or not, or not known yet,
// as the test says, and which keeps every bubble shown.
class Notifications final : public platform::Notifications
{
public:
    Service service() const override
    {
        return !known ? Service::Unknown : served ? Service::Served : Service::Absent;
    }
    void show(const platform::Notification &notification) override
    {
        shown.push_back(notification);
    }
    // As the bus's answer comes.
    void learn(bool there)
    {
        known = true;
        served = there;
        emit serviceChanged();
    }

    bool known = true;
    bool served = true;
    std::vector<platform::Notification> shown;
};

} // namespace fakes

// The real window over the real probe module, with every service scripted.
// Its probes run on the test's thread, so that a test steps it tick by
// tick: each ProbeTick() has shown its probe when it returns.
struct TestWindow
{
    fakes::SocketsLibrary sockets;
    fakes::IcmpEchoLibrary icmp;
    fakes::MessageBox messageBox;
    fakes::Clock clock;
    window::InlineProbeRunner probes{sockets, icmp};
    Form1 window{probes, messageBox, clock};

    int logLines() const;
    QString logLine(int row) const;
};
