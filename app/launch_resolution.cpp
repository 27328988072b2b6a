#include "echowatch/app/launch_resolution.h"

#include "echowatch/records/host_resolution.h"

#include <QThread>

namespace app {

LaunchResolution::LaunchResolution(QString name, QObject *parent)
    : QObject(parent), m_name(std::move(name))
{}

LaunchResolution::~LaunchResolution()
{
    if (m_thread)
        m_thread->wait();
}

void LaunchResolution::start()
{
    m_thread = QThread::create([this, name = m_name] {
        const records::Resolution found = records::resolveIpv4(name.toStdString());
        // Emitted here, received on the GUI thread: the connections queue.
        if (found.address.empty())
            emit failed(name, QString::fromStdString(found.error));
        else
            emit resolved(name, QString::fromStdString(found.address));
    });
    m_thread->setObjectName(QStringLiteral("resolve"));
    m_thread->setParent(this);
    m_thread->start();
}

} // namespace app
