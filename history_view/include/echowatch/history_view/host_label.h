#pragma once

#include <QString>

#include <functional>

namespace history_view {

// What the host at a dotted address is called: the name the user gave it
// on the command line, else the address itself. Empty: every host goes by
// its address.
using HostLabel = std::function<QString(const QString &address)>;

// "router.lan (192.0.2.20)" for a named host, else the address alone.
inline QString hostTitle(const HostLabel &label, const QString &address)
{
    const QString name = label && !address.isEmpty() ? label(address) : address;
    return name == address ? address : name + QStringLiteral(" (") + address + QLatin1Char(')');
}

} // namespace history_view
