#pragma once

#include "echowatch/store/stored_history.h"

#include <string>

namespace store {

class Connection;

struct RetentionPolicy
{
    // Every probe for this long.
    int probeDays = 30;
    // Minute summaries, and outages, for this long.
    int summaryDays = 400;
};

// Folds the probes older than the policy keeps into minute summaries, then
// deletes them; deletes summaries, outages, runs and hosts older than that.
// In one transaction: a failure leaves the file as it was.
bool applyRetention(Connection &connection, Milliseconds now, const RetentionPolicy &policy,
                    std::string &error);

} // namespace store
