// Code a user can slip into a process through its environment: a Qt plugin
// found through QT_PLUGIN_PATH, or the same file named in LD_PRELOAD. When
// loaded it appends the loading process's name and capability sets to the
// file named in ECHOWATCH_CAP_REPORT, so a test can see what it would have
// been able to do.
#include <QGenericPlugin>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void reportCapabilities()
{
    const char *reportPath = std::getenv("ECHOWATCH_CAP_REPORT");
    if (reportPath == nullptr)
        return;
    std::FILE *report = std::fopen(reportPath, "a");
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (report != nullptr && status != nullptr) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "Name:", 5) == 0 || std::strncmp(line, "Cap", 3) == 0)
                std::fputs(line, report);
        }
        std::fputs("--\n", report);
    }
    if (status != nullptr)
        std::fclose(status);
    if (report != nullptr)
        std::fclose(report);
}

[[maybe_unused]] const bool reportedOnLoad = (reportCapabilities(), true);

} // namespace

class CapReportPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "cap_report_plugin.json")

public:
    QObject *create(const QString &, const QString &) override { return new QObject; }
};

#include "cap_report_plugin.moc"
