#include "echowatch/alerts/alert_settings.h"

#include "echowatch/window/form1.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace alerts {

namespace {

// What a rule switched off offers when it is switched on.
constexpr host::LossRule OfferedLoss{20, 5, host::LossRule::DefaultWindow};
constexpr int OfferedSlowMilliseconds = 100;

QSpinBox *spinBox(const QString &name, int fewest, int most, const QString &suffix = {})
{
    auto *box = new QSpinBox;
    box->setObjectName(name);
    box->setRange(fewest, most);
    box->setSuffix(suffix);
    return box;
}

QGroupBox *groupBox(const QString &title, const QString &name)
{
    auto *box = new QGroupBox(title);
    box->setObjectName(name);
    box->setCheckable(true);
    return box;
}

} // namespace

AlertSettingsDialog::AlertSettingsDialog(QWidget *parent)
    : QDialog(parent), m_downAfter(spinBox(QStringLiteral("DownAfter"), 1, 100))
{
    setObjectName(QStringLiteral("AlertSettings"));
    setWindowTitle(tr("Alert settings"));
    auto *inARow = new QFormLayout;
    inARow->addRow(tr("&Down after failed probes in a row:"), m_downAfter);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(inARow);
    layout->addWidget(lossBox());
    layout->addWidget(slowBox());
    layout->addWidget(flapBox());
    layout->addWidget(buttons);
    setRules({});
}

// The clear level stays below the raise level.
QGroupBox *AlertSettingsDialog::lossBox()
{
    m_loss = groupBox(tr("Also down by &loss"), QStringLiteral("DownLoss"));
    m_lossRaise = spinBox(QStringLiteral("LossRaise"), 1, 100, QStringLiteral(" %"));
    m_lossClear = spinBox(QStringLiteral("LossClear"), 0, 99, QStringLiteral(" %"));
    m_lossWindow = spinBox(QStringLiteral("LossWindow"), 10, 10000);
    connect(m_lossRaise, &QSpinBox::valueChanged, m_lossClear,
            [this](int raise) { m_lossClear->setMaximum(raise - 1); });
    auto *form = new QFormLayout(m_loss);
    form->addRow(tr("Down when failed at least:"), m_lossRaise);
    form->addRow(tr("Up again when failed at most:"), m_lossClear);
    form->addRow(tr("Of the last probes:"), m_lossWindow);
    return m_loss;
}

QGroupBox *AlertSettingsDialog::slowBox()
{
    m_slow = groupBox(tr("&Slow for a full minute"), QStringLiteral("Slow"));
    m_slowOver = spinBox(QStringLiteral("SlowOver"), 1, 60000, QStringLiteral(" ms"));
    m_slowPercentile = spinBox(QStringLiteral("SlowPercentile"), 1, 100, QStringLiteral(" %"));
    auto *form = new QFormLayout(m_slow);
    form->addRow(tr("When over:"), m_slowOver);
    form->addRow(tr("Of the last minute's answers:"), m_slowPercentile);
    return m_slow;
}

QGroupBox *AlertSettingsDialog::flapBox()
{
    m_flap = groupBox(tr("Tell &flapping once"), QStringLiteral("Flapping"));
    m_flapLimit = spinBox(QStringLiteral("FlapLimit"), 1, 1000);
    m_flapWindow = spinBox(QStringLiteral("FlapWindow"), 1, 1440, tr(" min"));
    auto *form = new QFormLayout(m_flap);
    form->addRow(tr("When down more times than:"), m_flapLimit);
    form->addRow(tr("Within:"), m_flapWindow);
    return m_flap;
}

void AlertSettingsDialog::setRules(const host::AlertRules &rules)
{
    m_downAfter->setValue(rules.downAfter);
    const host::LossRule loss = rules.loss.on() ? rules.loss : OfferedLoss;
    m_loss->setChecked(rules.loss.on());
    m_lossRaise->setValue(loss.raisePercent);
    m_lossClear->setValue(loss.clearPercent);
    m_lossWindow->setValue(rules.loss.window);
    m_slow->setChecked(rules.slow.on());
    m_slowOver->setValue(rules.slow.on() ? rules.slow.overMilliseconds : OfferedSlowMilliseconds);
    m_slowPercentile->setValue(rules.slow.percentile);
    m_flap->setChecked(rules.flap.on());
    m_flapLimit->setValue(rules.flap.on() ? rules.flap.limit : host::FlapRule::DefaultLimit);
    m_flapWindow->setValue(rules.flap.windowMinutes);
}

// A rule switched off is off whatever its boxes offer: both its levels 0.
host::AlertRules AlertSettingsDialog::rules() const
{
    host::AlertRules rules;
    rules.downAfter = m_downAfter->value();
    if (m_loss->isChecked())
        rules.loss = {m_lossRaise->value(), m_lossClear->value(), m_lossWindow->value()};
    else
        rules.loss.window = m_lossWindow->value();
    rules.slow = {m_slow->isChecked() ? m_slowOver->value() : 0, m_slowPercentile->value()};
    rules.flap = {m_flap->isChecked() ? m_flapLimit->value() : 0, m_flapWindow->value()};
    return rules;
}

AlertSettings::AlertSettings(Form1 &window, std::function<host::AlertRules()> current)
    : QObject(&window), m_window(window), m_current(std::move(current)),
      m_action(new QAction(tr("Alert settings…"), this))
{
    window.addContextAction(window::MenuSection::Alerts, m_action);
    connect(m_action, &QAction::triggered, this, &AlertSettings::open);
}

// One dialog at a time, window-modal and never waited for: the probes go on
// while it is open.
void AlertSettings::open()
{
    if (m_dialog) {
        m_dialog->raise();
        return;
    }
    m_dialog = new AlertSettingsDialog(&m_window);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->setRules(m_current());
    connect(m_dialog, &QDialog::accepted, this, [this] { emit chosen(m_dialog->rules()); });
    m_dialog->open();
}

} // namespace alerts
