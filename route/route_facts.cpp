#include "echowatch/route/route_facts.h"

namespace route {

// Operational states Unknown and Testing pass packets as far as anyone can
// tell (a tunnel reads Unknown while it works); Down and LowerLayerDown are
// what a lost carrier reads, whichever flag the driver set first.
LinkTrouble linkTrouble(const LinkFacts &link) noexcept
{
    if (!link.adminUp)
        return LinkTrouble::SwitchedOff;
    if (!link.carrier || link.operState == OperState::Down ||
        link.operState == OperState::LowerLayerDown || link.operState == OperState::NotPresent)
        return LinkTrouble::NoCarrier;
    if (link.operState == OperState::Dormant)
        return LinkTrouble::Dormant;
    return LinkTrouble::None;
}

} // namespace route
