#pragma once

#include <QObject>
#include <QThread>

namespace platform {

// The machine going to sleep and waking, as logind announces them on the
// system bus (PrepareForSleep). Everything D-Bus is done on a thread of its
// own, the connection included, so the window's thread never waits for the
// bus; where there is no system bus, or no logind, nothing is ever told.
class SleepWatch : public QObject
{
    Q_OBJECT

public:
    explicit SleepWatch(QObject *parent = nullptr);
    ~SleepWatch() override;

signals:
    void sleeping();
    void awake();
    // The bus will tell from now on (for tests, which announce a sleep of
    // their own on a bus of their own once it does).
    void listening();

private:
    QThread m_thread;
};

} // namespace platform
