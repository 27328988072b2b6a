#pragma once

#include <QString>

namespace app {

// The name the user gave for the host on the command line and the address
// it was found at. The box may be changed to another address at any time:
// only that address goes by the name.
struct HostNaming
{
    QString name;
    QString address;

    // How the host at a dotted address is called: in notifications, the
    // log, metrics, a command's environment and the History window.
    QString label(const QString &dotted) const
    {
        return !name.isEmpty() && dotted == address ? name : dotted;
    }
};

} // namespace app
