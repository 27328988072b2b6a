#include "echowatch/window/form1.h"

#include "echowatch/window/failure_log_model.h"
#include "echowatch/window/form1_layout.h"
#include "echowatch/window/form1_texts.h"

#include "echowatch/platform/application_title.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/number_text.h"
#include "echowatch/platform/qt_text.h"
#include "echowatch/probe/echo_reply.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/module1.h"
#include "echowatch/probe/status_text.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

using namespace window;

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

std::u16string_view utf16View(const QString &text)
{
    return std::u16string_view(QStringView(text).utf16(), static_cast<std::size_t>(text.size()));
}

} // namespace

Form1::Form1(Module1 &probe, probe::MessageBox &messageBox, const platform::Clock &clock,
             QWidget *parent)
    : QWidget(parent), Text1(placeControl<QLineEdit>(this, "Text1", Text1Place)),
      Command1(placeControl<QPushButton>(this, "Command1", Command1Place)),
      Text2(placeControl<QLineEdit>(this, "Text2", Text2Place)),
      Label2(placeLabel(this, "Label2", Label2Place)),
      Label3(placeLabel(this, "Label3", Label3Place)),
      Label1(placeLabel(this, "Label1", Label1Place)),
      Label4(placeLabel(this, "Label4", Label4Place)),
      List1(placeControl<QListView>(this, "List1", List1Place)), Timer1(makeProbeTimer(this)),
      m_log(new window::FailureLogModel(QLocale(), this)), m_contextMenu(new QMenu(this)),
      m_probe(probe), m_messageBox(messageBox), m_clock(clock)
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
    // A tick that comes while one of the last tick's message boxes waits for
    // the user is dropped, so that an unattended window does not pile boxes.
    if (m_tickState == TickState::Running)
        return;
    m_tickState = TickState::Running;
    EchoReply reply{};
    probe::ProbeEvent event;
    if (!m_probe.StartSockets()) {
        m_messageBox.show(SocketsNotRespondingText, probe::MessageIcon::None);
        m_tickState = TickState::Idle;
        return;
    }
    event.sentAt = m_clock.now();
    const EchoStatus status =
        m_probe.EchoAddress(utf16View(Text1->text()), ProbePayload, reply, event.details);
    showResult(status, static_cast<std::int32_t>(reply.header.roundTripTime),
               reply.header.dataSize);
    if (status > 0)
        m_log->append(status, m_clock.timeOfDay(), m_clock.now());
    m_probe.StopSockets();
    m_tickState = TickState::Idle;
    event.status = status;
    event.replySize = reply.header.dataSize;
    emit probeShown(event);
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
    if (Timer1->isActive()) {
        Timer1->stop();
        Command1->setText(platform::qtText(StartCaption));
        emit monitoringChanged(false);
        return;
    }
    // Checked before the timer is touched: a bad interval leaves it off and
    // the caption saying "Start".
    const auto interval = platform::intervalFromText(Text2->text());
    if (!interval) {
        m_messageBox.show(BadIntervalText, probe::MessageIcon::Exclamation);
        return;
    }
    Timer1->start(*interval);
    Command1->setText(platform::qtText(StopCaption));
    emit monitoringChanged(true);
}
