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
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <memory>

namespace history_view {

HistoryFile::HistoryFile(Form1 &window, ProbeHistory &history, int keepDays)
    : QObject(&window), m_window(window), m_history(history), m_keepDays(keepDays)
{
    setObjectName(QStringLiteral("HistoryFile"));
    auto *keep = new QAction(tr("Keep history in a file…"), this);
    window.addContextAction(window::MenuSection::Files, keep);
    connect(keep, &QAction::triggered, this, &HistoryFile::chooseFile);
    connect(&window, &Form1::probeShown, this, &HistoryFile::appendProbe);
    // After the status explanation has set the tooltip for the probe.
    connect(&window, &Form1::probeShown, this, &HistoryFile::addWarningToTooltip);
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
    m_earlierRead = false;
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

// The host by the address the probe went to; a text that was no address is
// kept as it was typed.
void HistoryFile::appendProbe(const probe::ProbeEvent &event)
{
    if (!m_appender)
        return;
    using namespace std::chrono;
    const auto sentAt = duration_cast<milliseconds>(event.sentAt.time_since_epoch()).count();
    char dotted[INET_ADDRSTRLEN] = {};
    const in_addr destination{event.details.destination};
    const std::string host =
        destination.s_addr != 0 && inet_ntop(AF_INET, &destination, dotted, sizeof dotted)
            ? std::string(dotted)
            : m_window.Text1->text().toStdString();
    if (!m_earlierRead) {
        m_earlierRead = true;
        readEarlierRuns(host, sentAt);
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
}

} // namespace

// The runs before the probe sent at `before`, which is this run's first.
void HistoryFile::readEarlierRuns(const std::string &host, qint64 before)
{
    auto earlier = std::make_shared<EarlierRuns>();
    // The reader holds the result too, in case this is gone before it ends.
    QThread *reader = QThread::create([path = QDir::cleanPath(m_path).toStdString(), host, before,
                                       earlier] { readFile(path, host, before, *earlier); });
    connect(reader, &QThread::finished, this,
            [this, earlier] { m_history.addEarlierRuns(earlier->probes, earlier->runs); });
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
    addWarningToTooltip();
    emit warningChanged(text);
}

void HistoryFile::addWarningToTooltip()
{
    static const QString marker = QStringLiteral("<p class=\"history\">");
    QString tooltip = m_window.Label1->toolTip();
    const qsizetype earlier = tooltip.indexOf(marker);
    if (earlier >= 0)
        tooltip.truncate(earlier);
    if (!m_warning.isEmpty())
        tooltip += marker + m_warning.toHtmlEscaped() + QStringLiteral("</p>");
    m_window.Label1->setToolTip(tooltip);
}

} // namespace history_view
