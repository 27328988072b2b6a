#pragma once

#include <QObject>
#include <QString>

class QThread;

namespace app {

// The host name from the command line, looked up once on a thread of its
// own while the event loop runs, so the window waits for it without
// stalling. Tells the outcome once, then may be deleted.
class LaunchResolution : public QObject
{
    Q_OBJECT

public:
    LaunchResolution(QString name, QObject *parent);
    ~LaunchResolution() override;

    void start();

signals:
    void resolved(const QString &name, const QString &address);
    void failed(const QString &name, const QString &message);

private:
    QString m_name;
    QThread *m_thread = nullptr;
};

} // namespace app
