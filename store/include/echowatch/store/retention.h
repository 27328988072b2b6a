#pragma once

#include "echowatch/store/stored_history.h"

#include <cstddef>
#include <functional>
#include <string>

namespace store {

class Connection;

struct RetentionPolicy
{
    // Every probe for this long.
    int probeDays = 30;
    // Minute summaries, outages and watches for this long: a year.
    int summaryDays = 366;
    // At most this many rows folded or deleted in one transaction (more only
    // for a single minute that holds more probes, which is folded whole),
    // so that another window writing in the file waits milliseconds.
    std::size_t rowsPerTransaction = 4000;
};

// Asked after each transaction; false stops the retention there, with
// what is done kept. The next retention goes on from there.
using GoOn = std::function<bool()>;

// Folds the probes older than the policy keeps into minute summaries, then
// deletes them; deletes summaries, outages, watches, slow periods, runs and
// hosts older than that. Transaction by transaction, each all or nothing,
// with a pause after each as long as it took, for other writers' turn.
bool applyRetention(Connection &connection, Milliseconds now, const RetentionPolicy &policy,
                    std::string &error, const GoOn &goOn = {});

} // namespace store
