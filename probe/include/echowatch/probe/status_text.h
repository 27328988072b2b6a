#pragma once

#include "echowatch/probe/echo_status.h"

#include <string>

// The status line: the code first, so a reader of the log sees it before
// the words, e.g. "11010   [ ip req timed out ]".
std::string StatusText(EchoStatus status);
