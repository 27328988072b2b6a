#include "echowatch/history_view/history_file.h"

#include "echowatch/history_view/history_recorder.h"
#include "echowatch/history_view/probe_history.h"
#include "echowatch/host/host_event_signals.h"
#include "echowatch/store/history_reader.h"
#include "echowatch/store/sqlite_connection.h"
#include "echowatch/window/form1.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <memory>

namespace history_view {

HistoryFile::HistoryFile(Form1 &window, const host::HostEventSignals &events, ProbeHistory &history,
                         int keepDays)
    : QObject(&window), m_window(window), m_history(history),
      m_recorder(new HistoryRecorder(events, keepDays, this)), m_readerContext(new QObject)
{
    setObjectName(QStringLiteral("HistoryFile"));
    m_reader.setObjectName(QStringLiteral("history reader"));
    m_readerContext->moveToThread(&m_reader);
    connect(&m_reader, &QThread::finished, m_readerContext, &QObject::deleteLater);
    auto *keep = new QAction(tr("Keep history in a file…"), this);
    window.addContextAction(window::MenuSection::Files, keep);
    connect(keep, &QAction::triggered, this, &HistoryFile::chooseFile);
    connect(&events, &host::HostEventSignals::taken, this, &HistoryFile::noteProbe);
    connect(&events, &host::HostEventSignals::started, this,
            [this](const host::WatchStarted &started) {
                m_firstSeen.emplace(started.host.address, started.at);
            });
    connect(m_recorder, &HistoryRecorder::warningChanged, this, &HistoryFile::showWarning);
}

// The appender commits what is queued as it ends, on its own thread; a read
// under way is waited for, its result dropped.
HistoryFile::~HistoryFile()
{
    m_reader.quit();
    m_reader.wait();
    if (!m_reader.isFinished())
        delete m_readerContext;
}

QString HistoryFile::proposedPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/echowatch/history.sqlite");
}

void HistoryFile::keepIn(const QString &path)
{
    m_recorder->keepIn(path);
    m_history.setHistoryFile(QDir::cleanPath(path));
}

QString HistoryFile::path() const
{
    return m_recorder->path();
}

int HistoryFile::keepDays() const
{
    return m_recorder->keepDays();
}

QString HistoryFile::warning() const
{
    return m_recorder->warning();
}

// The file is added to, never replaced, so choosing one that is there asks
// nothing.
void HistoryFile::chooseFile()
{
    const QString proposed = path().isEmpty() ? proposedPath() : path();
    QDir().mkpath(QFileInfo(proposed).absolutePath());
    const QString chosen = QFileDialog::getSaveFileName(
        &m_window, tr("Keep history in a file"), proposed,
        tr("History files (*.sqlite);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        keepIn(chosen);
}

// At the first probe of a host kept in a file, its earlier runs are read
// from the file; the recorder appends the probe itself.
void HistoryFile::noteProbe(const host::ProbeTaken &taken)
{
    if (!taken.host)
        return;
    const std::uint32_t address = taken.host->address;
    const host::Milliseconds sentAt = host::millisecondsOf(taken.probe.sentAt);
    const host::Milliseconds firstSeen = m_firstSeen.emplace(address, sentAt).first->second;
    if (!m_recorder->keeping() || m_earlierRead.contains(address))
        return;
    m_earlierRead.insert(address);
    readEarlierRuns(address, taken.host->dotted, firstSeen);
}

struct HistoryFile::EarlierRuns
{
    std::vector<history::ProbeSample> probes;
    std::vector<history::TimeSpan> watches;
    std::size_t runs = 0;
    history::OutageWhere where;
    std::vector<history::TimeSpan> slowPeriods;
};

namespace {

constexpr history::Milliseconds LookBack = 24 * 60 * 60'000;

// A file that cannot be read yet, as a new one, has no earlier runs.
void readFile(const std::string &path, const std::string &host, history::Milliseconds before,
              HistoryFile::EarlierRuns &earlier)
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
    for (const store::StoredWatch &watch : read->watches)
        earlier.watches.push_back({watch.started, watch.ended});
    earlier.runs = read->runs.size();
    earlier.slowPeriods = std::move(read->slowPeriods);
    for (const store::StoredOutage &outage : read->outages) {
        if (outage.pathVerdict)
            earlier.where.emplace(outage.start, *outage.pathVerdict);
    }
}

} // namespace

// The runs before `before`, when this program began watching the host, on
// the reading thread, one host after another; the result comes back to
// this object, and with it to nothing once this is gone.
void HistoryFile::readEarlierRuns(std::uint32_t address, const std::string &host, qint64 before)
{
    if (!m_reader.isRunning())
        m_reader.start();
    QMetaObject::invokeMethod(
        m_readerContext, [this, address, host, before, path = QDir::cleanPath(path())] {
            auto earlier = std::make_shared<EarlierRuns>();
            readFile(path.toStdString(), host, before, *earlier);
            QMetaObject::invokeMethod(
                this, [this, address, earlier] { mergeEarlierRuns(address, *earlier); },
                Qt::QueuedConnection);
        });
}

void HistoryFile::mergeEarlierRuns(std::uint32_t address, const EarlierRuns &earlier)
{
    m_history.addEarlierRuns(address, earlier.probes, earlier.watches, earlier.runs);
    m_history.addEarlierSlowPeriods(address, earlier.slowPeriods);
    // Their traces were not kept, only where they found the path broke.
    for (const auto &[start, verdict] : earlier.where)
        m_history.noteWhere(address, start, QString::fromStdString(verdict));
    emit earlierRunsRead(address);
}

// The recorder has said it on standard error; the status line's tooltip
// keeps it.
void HistoryFile::showWarning(const QString &text)
{
    m_window.setStatusNote(QStringLiteral("history file"), text);
    emit warningChanged(text);
}

} // namespace history_view
