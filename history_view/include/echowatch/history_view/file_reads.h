#pragma once

#include "echowatch/history_view/file_span.h"

#include <QObject>

#include <memory>
#include <optional>

namespace history_view {

// Reads the history file off the window's thread, one request at a time:
// a request made while one is read waits for its turn, and a later one
// takes its place, so a file that is slow to read (locked by another
// program) is never asked more than twice at once. Destroying it waits for
// nothing: a read under way ends on its worker and its answer goes
// nowhere.
class FileReads final : public QObject
{
    Q_OBJECT

public:
    explicit FileReads(FileReader reader, QObject *parent = nullptr);
    ~FileReads() override;

    void read(FileRequest request);
    bool reading() const noexcept { return m_reading; }

signals:
    // On the thread this lives in.
    void answered(const history_view::FileRequest &request,
                  const history_view::FileAnswer &answer);

private:
    struct Receiver;

    void start(FileRequest request);
    void finish(const FileRequest &request, const FileAnswer &answer);

    const FileReader m_reader;
    std::shared_ptr<Receiver> m_receiver;
    bool m_reading = false;
    std::optional<FileRequest> m_waiting;
};

} // namespace history_view
