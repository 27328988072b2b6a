#include "echowatch/window/status_explanation.h"

#include "echowatch/net/ipv4_text.h"
#include "echowatch/platform/translation.h"
#include "echowatch/probe/status_text.h"
#include "echowatch/window/form1.h"

#include <QCoreApplication>
#include <QLabel>

#include <array>

namespace window {

namespace {

constexpr platform::Translation tr{"StatusExplanation"};

struct Meaning
{
    EchoStatus status;
    const char *words;
    // Whether the status answers an ICMP error some host sent back.
    bool refusal;
};

// The codes a user meets; others get their status words back.
constexpr std::array<Meaning, 11> Meanings{{
    {0, QT_TRANSLATE_NOOP("StatusExplanation", "The host answered."), false},
    {-1,
     QT_TRANSLATE_NOOP("StatusExplanation",
                       "The address box holds no IPv4 address in dotted form, such as "
                       "192.0.2.1 (host names are not looked up), so nothing was sent."),
     false},
    {11002, QT_TRANSLATE_NOOP("StatusExplanation", "The host's network cannot be reached."), true},
    {11003, QT_TRANSLATE_NOOP("StatusExplanation", "The host cannot be reached."), true},
    {11004, QT_TRANSLATE_NOOP("StatusExplanation", "The host does not take ICMP."), true},
    {11005, QT_TRANSLATE_NOOP("StatusExplanation", "The host refused the request."), true},
    {11009, QT_TRANSLATE_NOOP("StatusExplanation", "The request is too big for a link on the way."),
     true},
    {11010,
     QT_TRANSLATE_NOOP("StatusExplanation",
                       "Nothing answered within 500 ms: the host may be down, or a firewall "
                       "may drop the request or its answer."),
     false},
    {11012, QT_TRANSLATE_NOOP("StatusExplanation", "No route leads to the host."), true},
    {11013,
     QT_TRANSLATE_NOOP("StatusExplanation",
                       "The request's time to live ran out on the way, most likely in a "
                       "routing loop."),
     true},
    {11018, QT_TRANSLATE_NOOP("StatusExplanation", "The address cannot be a destination."), false},
}};

const Meaning *meaningOf(EchoStatus status)
{
    for (const Meaning &meaning : Meanings) {
        if (meaning.status == status)
            return &meaning;
    }
    return nullptr;
}

QString whoRefused(const probe::ProbeDetails &details)
{
    if (details.origin == probe::FailureOrigin::ThisMachine)
        return tr("This machine refused to send it.");
    if (details.responder == 0)
        return QString();
    return tr("The refusal came from %1.")
        .arg(QString::fromStdString(net::ipv4Text(details.responder)));
}

QString helperFailure(probe::HelperCondition helper)
{
    switch (helper) {
    case probe::HelperCondition::Missing:
    case probe::HelperCondition::LacksCapability:
        return tr("A permissions problem: the probe helper echowatch-probe is missing or "
                  "lacks its capability; as root, reinstall the echowatch package or run "
                  "setcap cap_net_raw+ep on the helper, or open ping sockets to every group "
                  "with sysctl -w net.ipv4.ping_group_range=\"0 2147483647\".");
    case probe::HelperCondition::Unresponsive:
        return tr("The probe helper stopped answering; it is started again at the next "
                  "probe.");
    default:
        return tr("The probe could not be sent, for a reason the system does not name.");
    }
}

} // namespace

QString statusExplanation(const probe::ProbeEvent &event)
{
    if (event.status == 11050)
        return helperFailure(event.details.helper);
    const Meaning *meaning = meaningOf(event.status);
    if (meaning == nullptr)
        return tr("The probe failed: %1.").arg(QString::fromStdString(StatusText(event.status)));
    QString text = tr(meaning->words);
    if (meaning->refusal) {
        const QString who = whoRefused(event.details);
        if (!who.isEmpty())
            text += QLatin1Char(' ') + who;
    }
    return text;
}

void explainStatusLine(Form1 &window)
{
    QObject::connect(&window, &Form1::probeShown, &window,
                     [&window](const probe::ProbeEvent &event) {
                         window.setStatusExplanation(statusExplanation(event));
                     });
}

} // namespace window
