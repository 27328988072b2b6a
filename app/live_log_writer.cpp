#include "echowatch/app/live_log_writer.h"

#include <QFile>

#include <system_error>

namespace app {

LiveLogWriter::LiveLogWriter(const QString &path, records::LogFormat format)
    : m_log(QFile::encodeName(path).toStdString(), format)
{}

void LiveLogWriter::append(const records::LoggedProbe &probe)
{
    const int error = m_log.append(probe);
    if (error != 0 && !m_failing)
        emit failed(QString::fromStdString(std::generic_category().message(error)));
    m_failing = error != 0;
}

void LiveLogWriter::reopen()
{
    m_log.reopen();
}

} // namespace app
