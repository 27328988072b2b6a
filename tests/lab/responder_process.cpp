#include "responder_process.h"

#include "lab_network.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string_view>

namespace lab {
namespace {

constexpr int StartTimeoutMilliseconds = 5000;

[[noreturn]] void runResponder(const std::string &lab, const std::vector<std::string> &plan,
                               int output)
{
    ::dup2(output, STDOUT_FILENO);
    std::vector<std::string> words{"ip", "netns", "exec", labNamespace(lab, "responder"),
                                   LAB_RESPONDER_PATH};
    words.insert(words.end(), plan.begin(), plan.end());
    std::vector<char *> arguments;
    for (auto &word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    ::execvp("ip", arguments.data());
    ::_exit(127);
}

} // namespace

ResponderProcess::ResponderProcess(const std::string &lab, const std::vector<std::string> &plan)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0)
        runResponder(lab, plan, pipeEnds[1]);
    ::close(pipeEnds[1]);
    m_ready = m_pid > 0 && awaitReady(pipeEnds[0]);
    ::close(pipeEnds[0]);
}

ResponderProcess::~ResponderProcess()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool ResponderProcess::awaitReady(int output) const
{
    std::string said;
    pollfd watched{output, POLLIN, 0};
    while (::poll(&watched, 1, StartTimeoutMilliseconds) > 0) {
        char chunk[64];
        const ssize_t length = ::read(output, chunk, sizeof chunk);
        if (length <= 0)
            return false;
        said.append(chunk, static_cast<std::size_t>(length));
        if (said.find("ready\n") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace lab
