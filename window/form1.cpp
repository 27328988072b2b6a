#include "echowatch/window/form1.h"

#include "echowatch/window/failure_log_model.h"
#include "echowatch/window/form1_layout.h"
#include "echowatch/window/form1_texts.h"

#include "echowatch/platform/application_title.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/number_text.h"
#include "echowatch/platform/qt_text.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/probe_details.h"
#include "echowatch/probe/status_text.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

using namespace window;

#include <algorithm>

namespace {

template <typename Control>
Control *placeControl(QWidget *window, const char *name, TwipsRect place)
{
    auto *control = new Control(window);
    control->setObjectName(QLatin1StringView(name));
    control->setGeometry(toPixels(place));
    return control;
}

// Captions are plain text on one line, whatever a status line holds.
QLabel *placeLabel(QWidget *window, const char *name, TwipsRect place)
{
    auto *label = placeControl<QLabel>(window, name, place);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    return label;
}

QTimer *makeProbeTimer(QObject *window)
{
    auto *timer = new QTimer(window);
    timer->setObjectName(QStringLiteral("Timer1"));
    timer->setInterval(InitialTimerInterval);
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

QFont windowFont(int pixelSize)
{
    QFont font(platform::qtText(WindowFontFamily));
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace

Form1::Form1(window::ProbeRunner &probes, probe::MessageBox &messageBox,
             const platform::Clock &clock, QWidget *parent)
    : QWidget(parent), Text1(placeControl<QLineEdit>(this, "Text1", Text1Place)),
      Command1(placeControl<QPushButton>(this, "Command1", Command1Place)),
      Text2(placeControl<QLineEdit>(this, "Text2", Text2Place)),
      Label2(placeLabel(this, "Label2", Label2Place)),
      Label3(placeLabel(this, "Label3", Label3Place)),
      Label1(placeLabel(this, "Label1", Label1Place)),
      Label4(placeLabel(this, "Label4", Label4Place)),
      List1(placeControl<QListView>(this, "List1", List1Place)), Timer1(makeProbeTimer(this)),
      m_log(new window::FailureLogModel(QLocale(), this)), m_contextMenu(new QMenu(this)),
      m_probes(probes), m_messageBox(messageBox), m_clock(clock), m_clickBound(new QTimer(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(platform::qtText(platform::ApplicationTitle));
    setFont(windowFont(WindowFontPixelSize));
    setFixedSize(clientSize());
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

    Command1->setText(platform::qtText(StartCaption));
    describeInputs();
    Label4->setText(platform::qtText(AttributionText));
    Label4->setFont(windowFont(AttributionFontPixelSize));
    List1->setModel(m_log);
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    describeForScreenReaders();
    setTabOrder();
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::ToggleMonitoring);
    connect(Timer1, &QTimer::timeout, this, &Form1::ProbeTick);
    connect(&m_probes, &window::ProbeRunner::finished, this, &Form1::takeResult);
    m_clickBound->setSingleShot(true);
    m_clickBound->setInterval(ClickWaitBound);
    connect(m_clickBound, &QTimer::timeout, this, &Form1::giveUpOnProbe);
    // Shift+F10 opens the context menu where the keyboard is, as the Menu
    // key does; Qt maps only the latter.
    auto *menuShortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(menuShortcut, &QShortcut::activated, this, &Form1::openContextMenuFromKeyboard);
    // An action that cannot be taken says why in its tooltip.
    m_contextMenu->setToolTipsVisible(true);
    connect(m_contextMenu, &QMenu::aboutToShow, this, &Form1::contextMenuOpening);
}

void Form1::addContextAction(window::MenuSection section, QAction *action)
{
    static constexpr char SectionProperty[] = "echowatchMenuSection";
    action->setProperty(SectionProperty, static_cast<int>(section));
    QAction *before = nullptr;
    for (QAction *present : m_contextMenu->actions()) {
        if (present->property(SectionProperty).toInt() > static_cast<int>(section)) {
            before = present;
            break;
        }
    }
    m_contextMenu->insertAction(before, action);
}

// Greyed in an empty box only: the boxes' text itself starts empty. The
// interval box is too narrow for its whole hint, so both also carry it as a
// tooltip.
void Form1::describeInputs()
{
    Text1->setPlaceholderText(platform::qtText(AddressPlaceholder));
    Text1->setToolTip(platform::qtText(AddressPlaceholder));
    Text2->setPlaceholderText(platform::qtText(IntervalPlaceholder));
    Text2->setToolTip(platform::qtText(IntervalPlaceholder));
}

void Form1::describeForScreenReaders()
{
    Text1->setAccessibleName(platform::qtText(AddressName));
    Text2->setAccessibleName(platform::qtText(IntervalName));
    List1->setAccessibleName(platform::qtText(FailureLogName));
    Label1->setAccessibleDescription(platform::qtText(StatusDescription));
    Label2->setAccessibleDescription(platform::qtText(RoundTripDescription));
    Label3->setAccessibleDescription(platform::qtText(ReplySizeDescription));
}

// The drawing's tab indexes, less the labels, which take no focus.
void Form1::setTabOrder()
{
    QWidget::setTabOrder(Command1, Text1);
    QWidget::setTabOrder(Text1, Text2);
    QWidget::setTabOrder(Text2, List1);
}

void Form1::ProbeTick()
{
    // As a timer's due ticks fold into one while its handler runs: one
    // probe at a time, the next as soon as this one ends. A tick that comes
    // while one of the last tick's message boxes waits for the user is
    // dropped, so that an unattended window does not pile boxes.
    if (m_tickState == TickState::Probing)
        m_tickPending = true;
    if (m_tickState != TickState::Idle || m_boxesOpen > 0)
        return;
    startProbe();
}

void Form1::startProbe()
{
    m_tickState = TickState::Probing;
    m_tickPending = false;
    m_sentAt = m_clock.now();
    m_sentSinceBoot = probe::bootClockNow();
    m_probes.start(window::ProbeRequest{++m_sequence, Text1->text()});
}

void Form1::takeResult(const window::ProbeResult &result)
{
    if (result.sequence != m_sequence || m_tickState != TickState::Probing)
        return;
    if (m_boxesOpen > 0) {
        m_heldResult = result;
        return;
    }
    showProbe(result);
    applyWaitingClicks();
    const bool again = m_tickPending && Timer1->isActive();
    m_tickPending = false;
    if (again)
        startProbe();
}

void Form1::showProbe(const window::ProbeResult &result)
{
    if (!result.socketsStarted) {
        m_tickState = TickState::ShowingBox;
        showMessage(SocketsNotRespondingText, probe::MessageIcon::None);
        m_tickState = TickState::Idle;
        m_tickPending = false;
        return;
    }
    showResult(result.status, result.roundTripTime, result.dataSize);
    if (result.status > 0)
        m_log->append(result.status, m_clock.timeOfDay(), m_clock.now());
    if (result.cleanupFailed) {
        m_tickState = TickState::ShowingBox;
        showMessage(result.cleanupWarning.text, result.cleanupWarning.icon);
        m_tickPending = false;
    }
    m_tickState = TickState::Idle;
    probe::ProbeEvent event;
    event.sentAt = m_sentAt;
    event.sentSinceBoot = m_sentSinceBoot;
    event.status = result.status;
    event.replySize = result.dataSize;
    event.details = result.details;
    emit probeShown(event);
}

// A result that came back while the box was open is shown once it closes.
void Form1::showMessage(std::string_view text, probe::MessageIcon icon)
{
    ++m_boxesOpen;
    m_messageBox.show(text, icon);
    --m_boxesOpen;
    if (m_boxesOpen == 0 && m_heldResult) {
        const window::ProbeResult held = *m_heldResult;
        m_heldResult.reset();
        takeResult(held);
    }
}

// The event the Menu key makes, sent to the control with the focus and,
// where it does not take it, on to the window.
void Form1::openContextMenuFromKeyboard()
{
    QWidget *target = focusWidget() != nullptr ? focusWidget() : this;
    const QPoint centre = target->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, centre, target->mapToGlobal(centre));
    QCoreApplication::sendEvent(target, &event);
}

void Form1::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_contextMenu->isEmpty()) {
        QWidget::contextMenuEvent(event);
        return;
    }
    m_contextMenu->popup(event->globalPos());
    event->accept();
}

void Form1::showResult(EchoStatus status, std::int32_t roundTripTime, std::int32_t dataSize)
{
    Label1->setText(QString::fromStdString(StatusText(status)));
    Label2->setText(platform::integerText(roundTripTime) + platform::qtText(MillisecondsSuffix));
    Label3->setText(platform::integerText(dataSize) + platform::qtText(BytesSuffix));
}

void Form1::ToggleMonitoring()
{
    // Only the click's effect waits: the window goes on painting and
    // answering while the probe ends.
    if (m_tickState == TickState::Probing) {
        ++m_clicksWaiting;
        if (!m_clickBound->isActive())
            m_clickBound->start();
        return;
    }
    toggle();
}

void Form1::applyWaitingClicks()
{
    m_clickBound->stop();
    for (; m_clicksWaiting > 0; --m_clicksWaiting)
        toggle();
}

// The worker never answered within any probe's bound: the clicks take
// effect, and the result, should it still come, is dropped unseen.
void Form1::giveUpOnProbe()
{
    if (m_tickState != TickState::Probing)
        return;
    ++m_sequence;
    m_tickState = TickState::Idle;
    m_tickPending = false;
    applyWaitingClicks();
}

void Form1::toggle()
{
    if (Timer1->isActive()) {
        Timer1->stop();
        m_tickPending = false;
        Command1->setText(platform::qtText(StartCaption));
        emit monitoringChanged(false);
        return;
    }
    // Checked before the timer is touched: a bad interval leaves it off and
    // the caption saying "Start".
    const auto interval = platform::intervalFromText(Text2->text());
    if (!interval) {
        showMessage(BadIntervalText, probe::MessageIcon::Exclamation);
        return;
    }
    Timer1->start(*interval);
    Command1->setText(platform::qtText(StopCaption));
    emit monitoringChanged(true);
}

void Form1::setStatusExplanation(const QString &text)
{
    m_statusExplanation = text;
    showStatusTooltip();
}

void Form1::setStatusNote(const QString &feature, const QString &text)
{
    const auto note = std::find_if(m_statusNotes.begin(), m_statusNotes.end(),
                                   [&](const auto &kept) { return kept.first == feature; });
    if (note == m_statusNotes.end())
        m_statusNotes.append({feature, text});
    else
        note->second = text;
    showStatusTooltip();
}

// Rich text, so that the tooltip wraps its sentences.
void Form1::showStatusTooltip()
{
    QString tooltip;
    if (!m_statusExplanation.isEmpty())
        tooltip = QStringLiteral("<p>%1</p>").arg(m_statusExplanation.toHtmlEscaped());
    for (const auto &[feature, text] : m_statusNotes) {
        if (!text.isEmpty())
            tooltip += QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped());
    }
    Label1->setToolTip(tooltip);
}
