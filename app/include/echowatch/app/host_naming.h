#pragma once

#include <QString>

namespace alerts {

// The name the user gave for the host on the command line and the address
// it was found at. The box may be changed to another address at any time:
// only that address goes by the name.
struct HostNaming
{
    QString name;
    QString address;

    // How the host at the box's text is called in notifications, the log,
    // metrics and a command's environment.
    QString label(const QString &boxText) const
    {
        return !name.isEmpty() && boxText == address ? name : boxText;
    }
};

} // namespace alerts
