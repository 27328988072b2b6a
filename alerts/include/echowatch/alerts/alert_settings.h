#pragma once

#include "echowatch/host/alert_rules.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

class Form1;
class QAction;
class QGroupBox;
class QSpinBox;

namespace alerts {

// What calls the host down, slow and flapping, as the command line's
// --down-after, --down-loss and --loss-window, --slow-over, --flap-limit
// and --flap-window set them: a rule switched off keeps its figures shown
// for the next time it is switched on.
class AlertSettingsDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit AlertSettingsDialog(QWidget *parent = nullptr);

    void setRules(const host::AlertRules &rules);
    host::AlertRules rules() const;

private:
    QGroupBox *lossBox();
    QGroupBox *slowBox();
    QGroupBox *flapBox();

    QSpinBox *m_downAfter;
    QGroupBox *m_loss = nullptr;
    QSpinBox *m_lossRaise = nullptr;
    QSpinBox *m_lossClear = nullptr;
    QSpinBox *m_lossWindow = nullptr;
    QGroupBox *m_slow = nullptr;
    QSpinBox *m_slowOver = nullptr;
    QSpinBox *m_slowPercentile = nullptr;
    QGroupBox *m_flap = nullptr;
    QSpinBox *m_flapLimit = nullptr;
    QSpinBox *m_flapWindow = nullptr;
};

// "Alert settings…" in the window's context menu: the dialog above, with
// the rules the host monitor goes by now, whose OK sets them for the
// window's life. Owned by the window.
class AlertSettings final : public QObject
{
    Q_OBJECT

public:
    // current reads the rules the host monitor goes by.
    AlertSettings(Form1 &window, std::function<host::AlertRules()> current);

    QAction *action() const noexcept { return m_action; }
    // The dialog while it is open.
    AlertSettingsDialog *dialog() const noexcept { return m_dialog; }
    void open();

signals:
    void chosen(const host::AlertRules &rules);

private:
    Form1 &m_window;
    std::function<host::AlertRules()> m_current;
    QAction *const m_action;
    QPointer<AlertSettingsDialog> m_dialog;
};

} // namespace alerts
