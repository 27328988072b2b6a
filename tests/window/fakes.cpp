#include "fakes.h"

#include "echowatch/net/icmp_echo_reply.h"

#include <QAbstractItemModel>
#include <QListView>

#include <algorithm>
#include <cstring>

int FakeSocketsLibrary::WSAStartup(std::uint16_t, std::span<std::byte>) noexcept
{
    ++starts;
    return startResult;
}

int FakeSocketsLibrary::WSACleanup() noexcept
{
    ++cleanups;
    return cleanupResult;
}

namespace {

class FakeHandle final : public net::IcmpEchoHandle
{
public:
    explicit FakeHandle(FakeIcmpEchoLibrary &library) : m_library(library) {}

    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer,
                               std::chrono::milliseconds) noexcept override
    {
        ++m_library.sends;
        m_library.lastDestination = destination;
        m_library.lastRequestData.assign(reinterpret_cast<const char *>(requestData.data()),
                                         requestData.size());
        net::IcmpEchoReply header{};
        header.status = static_cast<std::uint32_t>(m_library.echo.status);
        header.roundTripTime = m_library.echo.roundTripTime;
        header.dataSize = m_library.echo.dataSize;
        std::memcpy(replyBuffer.data(), &header, std::min(sizeof header, replyBuffer.size()));
        return m_library.echo.status == 0 ? 1 : 0;
    }

private:
    FakeIcmpEchoLibrary &m_library;
};

} // namespace

net::IcmpHandleOpening FakeIcmpEchoLibrary::IcmpCreateFile() noexcept
{
    return {std::make_unique<FakeHandle>(*this), 0};
}

void FakeMessageBox::show(std::string_view text, probe::MessageIcon icon) noexcept
{
    shown.push_back({std::string(text), icon});
    deepestNesting = std::max(deepestNesting, ++m_open);
    if (whileOpen)
        whileOpen();
    --m_open;
}

int TestWindow::logLines() const
{
    return window.List1->model()->rowCount();
}

QString TestWindow::logLine(int row) const
{
    const QAbstractItemModel *model = window.List1->model();
    return model->data(model->index(row, 0)).toString();
}
