#include "support/real_probe.h"

#include "support/child_process.h"
#include "support/echo_record.h"

#include <cstring>

RealProbe::RealProbe(helper::SocketKindChoice kinds, std::string helperPath,
                     net::SocketCalls *calls)
    : icmp(helper::makeEchoLibrary(kinds, helperPath, calls))
{}

std::string RealProbe::builtHelperPath()
{
    return ECHOWATCH_TEST_HELPER;
}

ProbeOutcome RealProbe::echo(std::u16string_view address)
{
    ProbeOutcome outcome{};
    const auto start = std::chrono::steady_clock::now();
    outcome.status = module.EchoAddress(address, TestPayload, outcome.reply);
    outcome.took = std::chrono::steady_clock::now() - start;
    return outcome;
}

ProbeOutcome RealProbe::echo(std::string_view address)
{
    return echo(std::u16string(address.begin(), address.end()));
}

ProbeRun probeOnce(const char *address, helper::SocketKindChoice kinds)
{
    const ProbeOutcome outcome = RealProbe(kinds).echo(std::string_view(address));
    ProbeRun run{};
    run.status = outcome.status;
    run.roundTripTime = outcome.reply.header.roundTripTime;
    run.dataSize = outcome.reply.header.dataSize;
    run.payloadEchoed = echoesTestPayload(outcome.reply);
    run.elapsedMilliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(outcome.took).count();
    return run;
}

namespace {

ProbeRun setupFailure(const std::string &error)
{
    ProbeRun run{};
    std::strncpy(run.setupError, error.c_str(), sizeof run.setupError - 1);
    return run;
}

} // namespace

ProbeRun probeInChild(const std::function<std::string()> &prepare, const char *address,
                      helper::SocketKindChoice kinds)
{
    std::string failure;
    const auto run = childprocess::runFor<ProbeRun>(
        [&] {
            const std::string error = prepare();
            return error.empty() ? probeOnce(address, kinds) : setupFailure(error);
        },
        failure);
    return run.value_or(setupFailure(failure));
}
