#pragma once

#include <QObject>

class Form1;
class QAction;
class QListView;

namespace window {

// The failure log's own actions beyond what the window does by itself:
// following new lines, and copying the whole log or the selected lines
// (the context menu, and Ctrl+C in the log). Off until the user takes one;
// owned by the window. Apart from the window itself, so that a window
// built without them (as the tests build it) has no context menu.
class LogActions : public QObject
{
    Q_OBJECT

public:
    explicit LogActions(Form1 &window);

    void copyLog() const;
    void copySelectedLines() const;

private:
    void followWhenAsked(Form1 &window);
    void copyOnShortcut();

    QListView &m_log;
    QAction *m_followNewLines = nullptr;
};

} // namespace window
