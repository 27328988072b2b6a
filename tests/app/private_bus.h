#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A D-Bus daemon of the test's own, standing in for the system bus while it
// lives (DBUS_SYSTEM_BUS_ADDRESS points at it), on which the test speaks as
// logind: it owns org.freedesktop.login1 and announces sleep and wake-up.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool started() const noexcept { return !m_address.isEmpty(); }
    // For a service of the test's own to connect to.
    QString address() const { return m_address; }
    QString problem() const { return m_problem; }

    // PrepareForSleep(true) before sleeping, (false) on waking, as logind
    // sends it; from another connection with as false, as anyone could.
    bool announceSleep(bool start, bool asLogind = true);

private:
    bool startDaemon();

    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QString m_problem;
    QByteArray m_previousAddress;
    bool m_hadAddress = false;
};

// The one private bus of a test process, started at its first use: libdbus
// reads the system bus's address once in a process.
PrivateBus &processBus();
