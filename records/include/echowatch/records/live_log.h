#pragma once

#include "echowatch/records/log_line.h"

#include <string>
#include <sys/types.h>

namespace records {

// A file that grows by one line per probe, each written through to the
// kernel as it comes, for tail -f and log shippers. It only ever appends:
// what is on disk is never rewritten. A file moved away (logrotate's
// move-and-create) is noticed at the next line, which goes to a new file at
// the path. A CSV file starts with its header whenever it starts empty,
// also when it is emptied in place (logrotate's copytruncate).
class LiveLog
{
public:
    LiveLog(std::string path, LogFormat format);
    ~LiveLog();

    LiveLog(const LiveLog &) = delete;
    LiveLog &operator=(const LiveLog &) = delete;

    // 0 once the line is written, else the errno of what failed; the next
    // line tries again.
    int append(const LoggedProbe &probe);
    // Lets go of the file: the next line opens the path again, whatever it
    // names then (SIGHUP after a rotation the path check cannot see).
    void reopen() noexcept { close(); }

    const std::string &path() const noexcept { return m_path; }

private:
    int openIfMoved();
    int open();
    int writeHeader();
    int writeAll(const std::string &text);
    void close() noexcept;

    std::string m_path;
    LogFormat m_format;
    LogLineWriter m_lines;
    std::string m_line;
    // A line cut short by a failed write is ended before the next one, so
    // that the next stands whole on its own line.
    bool m_lineCut = false;
    int m_descriptor = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace records
