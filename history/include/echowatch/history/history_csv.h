#pragma once

#include <ostream>

namespace history {

class OutageList;
class ProbeRecord;

// The probes kept in full, one record each: "time,status,status text,rtt
// ms,bytes", the round trip with three decimals and empty when nothing
// answered. Probes already folded into minute summaries have no line.
void writeProbesCsv(const ProbeRecord &record, std::ostream &out);

// One record per outage: "start,end,duration s,probes lost,cause,cause
// text,mixed", the end empty while it is ongoing.
void writeOutagesCsv(const OutageList &outages, std::ostream &out);

} // namespace history
