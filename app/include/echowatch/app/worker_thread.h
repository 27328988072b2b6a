#pragma once

#include <QObject>

class QThread;

namespace app {

// A thread of its own for one worker object, which is moved to it and
// deleted there when this dies (with the window that owns it). The GUI thread
// talks to the worker only through queued signals.
class WorkerThread : public QObject
{
    Q_OBJECT

public:
    WorkerThread(QObject *worker, const QString &name, QObject *owner);
    ~WorkerThread() override;

private:
    QThread *const m_thread;
};

} // namespace app
