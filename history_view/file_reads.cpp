#include "echowatch/history_view/file_reads.h"

#include <QThreadPool>

#include <mutex>

namespace history_view {

// Whom a worker hands its answer to, until that is gone.
struct FileReads::Receiver
{
    std::mutex mutex;
    FileReads *reads = nullptr;
};

FileReads::FileReads(FileReader reader, QObject *parent)
    : QObject(parent), m_reader(std::move(reader)), m_receiver(std::make_shared<Receiver>())
{
    m_receiver->reads = this;
}

// An answer already posted is dropped with this object's events.
FileReads::~FileReads()
{
    const std::lock_guard lock(m_receiver->mutex);
    m_receiver->reads = nullptr;
}

void FileReads::read(FileRequest request)
{
    if (m_reading)
        m_waiting = std::move(request);
    else
        start(std::move(request));
}

// The application's pool, which the application waits for as it ends, so
// no read outlives the program's objects half-done.
void FileReads::start(FileRequest request)
{
    m_reading = true;
    QThreadPool::globalInstance()->start(
        [reader = m_reader, receiver = m_receiver, request = std::move(request)] {
            auto answer = std::make_shared<FileAnswer>(reader(request));
            const std::lock_guard lock(receiver->mutex);
            if (!receiver->reads)
                return;
            QMetaObject::invokeMethod(
                receiver->reads,
                [reads = receiver->reads, request, answer] { reads->finish(request, *answer); },
                Qt::QueuedConnection);
        });
}

void FileReads::finish(const FileRequest &request, const FileAnswer &answer)
{
    m_reading = false;
    if (m_waiting) {
        FileRequest next = std::move(*m_waiting);
        m_waiting.reset();
        start(std::move(next));
    }
    emit answered(request, answer);
}

} // namespace history_view
