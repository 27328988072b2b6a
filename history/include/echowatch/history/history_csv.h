#pragma once

#include "echowatch/history/outage_list.h"

#include <functional>
#include <ostream>
#include <span>
#include <string>

namespace history {

class HostRecords;

// What a host is called, from its dotted address: the name the user gave
// it, else the address itself.
using HostName = std::function<std::string(const std::string &address)>;

// The probes kept in full of every host, one record each in the order they
// were sent, in the live log's columns: "time,host,address,status,status
// text,rtt ms,bytes", the host and address empty for probes never sent
// before any host was, the round trip with three decimals and empty when
// nothing answered. Without hostName a host is called by its address.
// Probes already folded into minute summaries have no line.
void writeProbesCsv(const HostRecords &hosts, std::ostream &out, const HostName &hostName = {});

// One record per outage: "start,end,duration s,probes lost,cause,cause
// text,mixed,where,ended", the end empty while it is ongoing, where the
// path broke empty when no trace found it, and how it ended: "answered",
// or "not watched" when its watch ended first (empty while ongoing).
void writeOutagesCsv(const OutageList &outages, std::ostream &out, const OutageWhere &where = {});
// The same of outages gathered elsewhere (a span of a history file), oldest
// first.
void writeOutagesCsv(std::span<const Outage> outages, std::ostream &out,
                     const OutageWhere &where = {});

} // namespace history
