#include "watched_window.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

host::AlertRules inARow(int downAfter)
{
    host::AlertRules rules;
    rules.downAfter = downAfter;
    return rules;
}

} // namespace

WatchedWindow::WatchedWindow(int downAfter, host::AddressWatch::Naming naming)
    : WatchedWindow(inARow(downAfter), std::move(naming))
{}

WatchedWindow::WatchedWindow(const host::AlertRules &rules, host::AddressWatch::Naming naming)
    : watch(*new app::WindowWatch(window, clock, rules, std::move(naming)))
{}

void WatchedWindow::start()
{
    window.Text2->setText(QStringLiteral("1000000"));
    window.Command1->click();
}

void WatchedWindow::probe(EchoStatus status, std::int32_t roundTripMilliseconds)
{
    clock.wallTime += std::chrono::seconds{1};
    const bool answered = status == 0;
    icmp.echo = {status, answered ? static_cast<std::uint32_t>(roundTripMilliseconds) : 0u,
                 static_cast<std::uint16_t>(answered ? 32 : 0)};
    window.ProbeTick();
}

void WatchedWindow::probes(const char *letters)
{
    for (const char *letter = letters; *letter != '\0'; ++letter) {
        if (*letter == 'b') {
            const QString address = window.Text1->text();
            window.Text1->setText(QStringLiteral("no address"));
            probe(0);
            window.Text1->setText(address);
            continue;
        }
        probe(*letter == 'a' ? 0 : *letter == 'u' ? 11003 : 11010);
    }
}
