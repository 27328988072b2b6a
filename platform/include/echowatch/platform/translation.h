#pragma once

#include <QCoreApplication>
#include <QString>

namespace platform {

// The words of a part of the program that is no QObject, in the user's
// language where a translation of that part (its context) is installed, as
// QObject::tr gives a class's: `constexpr platform::Translation tr{"Part"};`.
struct Translation
{
    const char *context;

    QString operator()(const char *text) const
    {
        return QCoreApplication::translate(context, text);
    }
};

} // namespace platform
