#include "echowatch/helper/probe_helper_location.h"

#include <filesystem>
#include <system_error>

namespace helper {

std::string probeHelperPath()
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const fs::path directory = program.parent_path();
    for (const fs::path &candidate :
         {directory / ECHOWATCH_HELPER_NAME,
          directory / ECHOWATCH_HELPER_FROM_BINDIR / ECHOWATCH_HELPER_NAME}) {
        if (fs::is_regular_file(candidate, error))
            return candidate.lexically_normal().string();
    }
    return {};
}

} // namespace helper
