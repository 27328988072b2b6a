#include "echowatch/path_view/path_window.h"

#include "echowatch/path_view/path_table_model.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

namespace path_view {
PathWindow::PathWindow(std::uint32_t destination, Kind kind, QWidget *owner)
    : QWidget(owner, Qt::Window), m_destination(destination), m_model(new PathTableModel(this)),
      m_table(new QTableView(this)), m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("PathWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    describeControls(kind);
}

PathWindow::PathWindow(std::uint32_t destination, EchoLibraryFactory factory, QWidget *owner)
    : PathWindow(destination, Kind::Rounds, owner)
{
    setWindowTitle(tr("EchoWatch Path to %1").arg(dottedText(destination)));
    startRounds(std::move(factory));
}

PathWindow::PathWindow(std::uint32_t destination, qint64 tracedAt, const path::PathTable &trace,
                       const QString &verdict, QWidget *owner)
    : PathWindow(destination, Kind::KeptTrace, owner)
{
    const QString when =
        QDateTime::fromMSecsSinceEpoch(tracedAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    setWindowTitle(tr("EchoWatch Path to %1, traced at %2").arg(dottedText(destination), when));
    m_model->show(trace);
    m_status->setText(tr("Where: %1").arg(verdict));
}

// A window the user closes does not wait for the request under way, which
// a silent hop holds for its whole timeout: its thread ends on its own once
// that request is done, and goes then. Only when the program ends is it
// waited for.
PathWindow::~PathWindow()
{
    m_stop.request_stop();
    if (m_thread == nullptr)
        return;
    m_thread->quit();
    if (m_quitting) {
        m_thread->wait();
        return;
    }
    QThread *thread = m_thread;
    thread->setParent(nullptr);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(qApp, &QCoreApplication::aboutToQuit, thread, [thread] { thread->wait(); });
    // It may have finished before it was told whom to tell; deleteLater may
    // be asked twice.
    if (thread->isFinished())
        thread->deleteLater();
}

void PathWindow::describeControls(Kind kind)
{
    const QString made =
        kind == Kind::Rounds
            ? tr("Round trips are in milliseconds; a round runs once a second.")
            : tr("Round trips are in milliseconds; this trace was made when the host went "
                 "down, up to three requests to each hop.");
    auto *reading = new QLabel(
        tr("Each row is one hop on the way to the host: requests limited to that many hops "
           "are answered by the router where they run out, the last row by the host. "
           "Loss at a middle hop that does not continue to the last hop is a router "
           "rationing its answers, not loss on the path; loss that continues to the last "
           "hop is. A row marked as traceroute marks it (!H host, !N network, !P protocol "
           "unreachable, !X prohibited) was answered by an ICMP error: the way ends there, "
           "and the error's time is not a round trip. %1")
            .arg(made),
        this);
    reading->setWordWrap(true);
    reading->setObjectName(QStringLiteral("reading"));

    m_table->setModel(m_model);
    m_table->setObjectName(QStringLiteral("hops"));
    m_table->setAccessibleName(tr("Hops to %1").arg(dottedText(m_destination)));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setTabKeyNavigation(false);

    m_status->setObjectName(QStringLiteral("status"));
    m_status->setText(tr("Tracing…"));

    auto *copy = new QPushButton(tr("&Copy as text"), this);
    copy->setObjectName(QStringLiteral("copy"));
    connect(copy, &QPushButton::clicked, this, &PathWindow::copyAsText);
    auto *close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence::Copy, this, this, &PathWindow::copyAsText);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(copy);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(reading);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(640, 360);
}

void PathWindow::startRounds(EchoLibraryFactory factory)
{
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_quitting = true; });
    const auto [thread, worker] = startWorker(*this, std::move(factory), m_stop.get_token());
    m_thread = thread;
    if (worker == nullptr) {
        m_status->setText(tr("No descriptor is free for a trace; close this window and try "
                             "again later"));
        return;
    }
    connect(worker, &PathWorker::roundDone, this, &PathWindow::showRound);
    connect(worker, &PathWorker::unavailable, this, &PathWindow::showUnavailable);
    const quint32 destination = m_destination;
    QMetaObject::invokeMethod(worker, [worker, destination] { worker->watch(destination); });
}

void PathWindow::showRound(const path::PathTable &table)
{
    m_model->show(table);
    m_status->setText(tr("Round %1").arg(table.rounds));
}

void PathWindow::showUnavailable(int status)
{
    m_status->setText(tr("No way to send echo requests (status %1)").arg(status));
}

void PathWindow::copyAsText()
{
    QApplication::clipboard()->setText(windowTitle() + QLatin1Char('\n') + m_model->text());
}

} // namespace path_view
