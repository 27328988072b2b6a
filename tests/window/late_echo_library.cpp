#include "late_echo_library.h"

#include <chrono>

net::IcmpHandleOpening LateEchoLibrary::IcmpCreateFile() noexcept
{
    {
        std::unique_lock lock(m_mutex);
        ++m_begun;
        if (m_delay) {
            // Nothing else wakes it: the whole delay passes.
            m_answered.wait_for(lock, *m_delay, [] { return false; });
            ++m_permits;
        }
        m_answered.wait_for(lock, std::chrono::seconds{10}, [this] { return m_permits > 0; });
        if (m_permits > 0)
            --m_permits;
        else
            ++m_letGo;
    }
    return script.IcmpCreateFile();
}

void LateEchoLibrary::answer()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_permits;
    }
    m_answered.notify_all();
}

int LateEchoLibrary::begun() const
{
    std::lock_guard lock(m_mutex);
    return m_begun;
}

int LateEchoLibrary::letGo() const
{
    std::lock_guard lock(m_mutex);
    return m_letGo;
}
