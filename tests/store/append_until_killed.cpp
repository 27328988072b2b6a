// Appends a probe of the wall clock's time about every millisecond until it
// is killed, for the test that kills it; ends by itself after two minutes.
#include "echowatch/store/history_appender.h"

#include <chrono>
#include <thread>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    store::HistoryAppender appender({argv[1], {}, std::chrono::milliseconds{500}, {}});
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes{2};
    for (int index = 0; std::chrono::steady_clock::now() < end; ++index) {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        appender.append("192.0.2.1", history::ProbeSample(now, index % 50 < 5 ? 11010 : 0,
                                                          index % 50 < 5 ? -1 : 120, 32));
        std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    return 0;
}
