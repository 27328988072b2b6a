#pragma once

class QTableView;

namespace history_view {

// Keeps the outage table's "Where" column readable at any width the
// window has: its text is cut at its end, never in the middle, so that the
// class it opens with ("beyond the gateway: ...") stays whole; and the
// column is left room for the longest class, the cause column giving way
// first (its full text stays in its tooltip, as the verdict's does).
void keepWhereReadable(QTableView &outages);

} // namespace history_view
