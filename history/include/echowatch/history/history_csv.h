#pragma once

#include "echowatch/history/outage_list.h"

#include <ostream>

namespace history {

class HostRecords;

// The probes kept in full of every host, one record each in the order they
// were sent: "time,address,status,status text,rtt ms,bytes", the address
// empty for probes never sent before any host was, the round trip with
// three decimals and empty when nothing answered. Probes already folded
// into minute summaries have no line.
void writeProbesCsv(const HostRecords &hosts, std::ostream &out);

// One record per outage: "start,end,duration s,probes lost,cause,cause
// text,mixed,where", the end empty while it is ongoing, where the path
// broke empty when no trace found it.
void writeOutagesCsv(const OutageList &outages, std::ostream &out, const OutageWhere &where = {});

} // namespace history
