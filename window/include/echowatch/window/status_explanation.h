#pragma once

#include "echowatch/probe/probe_details.h"

#include <QString>

class Form1;

namespace window {

// What a probe's status means in plain words and, where the user can act,
// what to do about it.
QString statusExplanation(const probe::ProbeEvent &event);

// Keeps the status line's tooltip explaining the status it shows.
void explainStatusLine(Form1 &window);

} // namespace window
