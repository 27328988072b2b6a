#include "echowatch/records/live_log.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace records {

LiveLog::LiveLog(std::string path, LogFormat format)
    : m_path(std::move(path)), m_format(format), m_lines(format)
{}

LiveLog::~LiveLog()
{
    close();
}

int LiveLog::append(const LoggedProbe &probe)
{
    if (const int error = openIfMoved())
        return error;
    m_line.clear();
    if (m_lineCut)
        m_line += m_format == LogFormat::Csv ? history::CsvRecordEnd : std::string_view("\n");
    m_lines.append(m_line, probe);
    return writeAll(m_line);
}

// A stat of the path per line: cheap beside a probe, and the only way to
// see a rename that happened behind our back. The same file found empty was
// truncated in place (logrotate's copytruncate), and starts again with its
// header.
int LiveLog::openIfMoved()
{
    struct stat atPath
    {};
    if (m_descriptor >= 0 && ::stat(m_path.c_str(), &atPath) == 0 && atPath.st_dev == m_device &&
        atPath.st_ino == m_inode)
        return atPath.st_size == 0 ? writeHeader() : 0;
    close();
    return open();
}

int LiveLog::open()
{
    const int descriptor = ::open(
        m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (descriptor < 0)
        return errno;
    // Whoever made the path a pipe or a device did not mean a log file.
    struct stat opened
    {};
    const int error = ::fstat(descriptor, &opened) != 0 ? errno
                      : S_ISREG(opened.st_mode)         ? 0
                                                        : EINVAL;
    if (error != 0) {
        ::close(descriptor);
        return error;
    }
    m_descriptor = descriptor;
    m_device = opened.st_dev;
    m_inode = opened.st_ino;
    m_lineCut = false;
    return opened.st_size == 0 ? writeHeader() : 0;
}

int LiveLog::writeHeader()
{
    // Whatever was cut short went with the rest of the file.
    m_lineCut = false;
    const std::string_view header = logHeader(m_format);
    if (header.empty())
        return 0;
    return writeAll(std::string(header) + std::string(history::CsvRecordEnd));
}

int LiveLog::writeAll(const std::string &text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = ::write(m_descriptor, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0) {
            const int error = result < 0 ? errno : ENOSPC;
            m_lineCut = m_lineCut || written > 0;
            return error;
        }
        written += static_cast<std::size_t>(result);
    }
    m_lineCut = false;
    return 0;
}

void LiveLog::close() noexcept
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

} // namespace records
