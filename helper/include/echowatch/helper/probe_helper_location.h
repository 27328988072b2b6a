#pragma once

#include <string>

namespace helper {

// Where the privileged probe helper of this program is: beside the running
// executable in a build tree, or in the libexec directory of the prefix the
// program was installed into. Found from the executable's own path, never
// from the environment; empty when neither exists.
std::string probeHelperPath();

} // namespace helper
