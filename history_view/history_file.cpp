#include "echowatch/history_view/history_file.h"

#include "echowatch/history_view/probe_history.h"
#include "echowatch/probe/probe_details.h"
#include "echowatch/store/history_appender.h"
#include "echowatch/store/history_reader.h"
#include "echowatch/store/sqlite_connection.h"
#include "echowatch/window/form1.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <memory>

namespace history_view {

namespace {

// As the file names its hosts: dotted.
std::string hostText(std::uint32_t address)
{
    char dotted[INET_ADDRSTRLEN] = {};
    const in_addr binary{address};
    return inet_ntop(AF_INET, &binary, dotted, sizeof dotted);
}

} // namespace

HistoryFile::HistoryFile(Form1 &window, ProbeHistory &history, int keepDays)
    : QObject(&window), m_window(window), m_history(history), m_keepDays(keepDays)
{
    setObjectName(QStringLiteral("HistoryFile"));
    auto *keep = new QAction(tr("Keep history in a file…"), this);
    window.addContextAction(window::MenuSection::Files, keep);
    connect(keep, &QAction::triggered, this, &HistoryFile::chooseFile);
    connect(&window, &Form1::probeShown, this, &HistoryFile::appendProbe);
    // After the status explanation has set the tooltip for the probe.
}

// The appender commits what is queued as it ends, on its own thread.
HistoryFile::~HistoryFile() = default;

QString HistoryFile::proposedPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/echowatch/history.sqlite");
}

void HistoryFile::keepIn(const QString &path)
{
    m_appender.reset();
    showWarning({});
    m_path = path;
    m_earlierRead.clear();
    store::AppenderOptions options;
    options.path = QDir::cleanPath(path).toStdString();
    options.retention.probeDays = m_keepDays;
    options.onWarning = [this](const std::string &text) {
        QMetaObject::invokeMethod(
            this, [this, text = QString::fromStdString(text)] { showWarning(text); },
            Qt::QueuedConnection);
    };
    m_appender = std::make_unique<store::HistoryAppender>(std::move(options));
}

// The file is added to, never replaced, so choosing one that is there asks
// nothing.
void HistoryFile::chooseFile()
{
    const QString proposed = m_path.isEmpty() ? proposedPath() : m_path;
    QDir().mkpath(QFileInfo(proposed).absolutePath());
    const QString chosen = QFileDialog::getSaveFileName(
        &m_window, tr("Keep history in a file"), proposed,
        tr("History files (*.sqlite);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        keepIn(chosen);
}

// The host by the address the probe went to; a probe never sent is
// counted with the host probed last, as the History window counts it.
void HistoryFile::notePathVerdict(std::uint32_t address, qint64 outageStart, const QString &verdict)
{
    if (m_appender && address != 0)
        m_appender->notePathVerdict(hostText(address), outageStart, verdict.toStdString());
}

void HistoryFile::appendProbe(const probe::ProbeEvent &event)
{
    if (!m_appender)
        return;
    if (event.details.destination != 0)
        m_latestAddress = event.details.destination;
    if (m_latestAddress == 0)
        return;
    using namespace std::chrono;
    const auto sentAt = duration_cast<milliseconds>(event.sentAt.time_since_epoch()).count();
    const std::string host = hostText(m_latestAddress);
    if (!m_earlierRead.contains(m_latestAddress)) {
        m_earlierRead.insert(m_latestAddress);
        readEarlierRuns(m_latestAddress, host, sentAt);
    }
    m_appender->append(host,
                       history::ProbeSample(sentAt, event.status,
                                            event.details.roundTripMicroseconds, event.replySize));
}

namespace {

constexpr history::Milliseconds LookBack = 24 * 60 * 60'000;

struct EarlierRuns
{
    std::vector<history::ProbeSample> probes;
    std::vector<history::TimeSpan> runs;
    history::OutageWhere where;
};

// A file that cannot be read yet, as a new one, has no earlier runs.
void readFile(const std::string &path, const std::string &host, history::Milliseconds before,
              EarlierRuns &earlier)
{
    std::string error;
    std::optional<store::Connection> connection =
        store::Connection::open(path, store::Access::ReadOnly, error);
    if (!connection)
        return;
    std::optional<store::HostHistory> read = store::readHostHistory(
        *connection, host, {before - LookBack, before}, store::DefaultProbesInFull, error);
    if (!read)
        return;
    earlier.probes = std::move(read->probes);
    for (const store::StoredRun &run : read->runs)
        earlier.runs.push_back({run.started, run.lastSent + 1});
    for (const store::StoredOutage &outage : read->outages) {
        if (outage.pathVerdict)
            earlier.where.emplace(outage.start, *outage.pathVerdict);
    }
}

} // namespace

// The runs before the probe sent at `before`, which is this run's first.
void HistoryFile::readEarlierRuns(std::uint32_t address, const std::string &host, qint64 before)
{
    auto earlier = std::make_shared<EarlierRuns>();
    // The reader holds the result too, in case this is gone before it ends.
    QThread *reader = QThread::create([path = QDir::cleanPath(m_path).toStdString(), host, before,
                                       earlier] { readFile(path, host, before, *earlier); });
    connect(reader, &QThread::finished, this, [this, address, earlier] {
        m_history.addEarlierRuns(address, earlier->probes, earlier->runs);
        // Their traces were not kept, only where they found the path broke.
        for (const auto &[start, verdict] : earlier->where)
            m_history.noteWhere(address, start, QString::fromStdString(verdict));
    });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    reader->start();
}

void HistoryFile::showWarning(const QString &text)
{
    if (text == m_warning)
        return;
    m_warning = text;
    if (!text.isEmpty())
        std::fprintf(stderr, "echowatch: warning: %s\n", text.toLocal8Bit().constData());
    m_window.setStatusNote(QStringLiteral("history file"), text);
    emit warningChanged(text);
}

} // namespace history_view
