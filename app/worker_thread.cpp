#include "echowatch/app/worker_thread.h"

#include <QThread>

namespace app {

WorkerThread::WorkerThread(QObject *worker, const QString &name, QObject *owner)
    : QObject(owner), m_thread(new QThread(this))
{
    m_thread->setObjectName(name);
    worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    m_thread->start();
}

// The worker finishes what it is doing (a line being written, a scrape
// being answered) and is deleted on its own thread before this returns.
WorkerThread::~WorkerThread()
{
    m_thread->quit();
    m_thread->wait();
}

} // namespace app
