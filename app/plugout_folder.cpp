#include "app/plugout_folder.h"

#include <filesystem>
#include <system_error>

#include "engine/fbs.h"

namespace korvane {

std::string plugoutFolder(const std::string& executableFolder, const std::string& installedFromExecutable) {
    const std::filesystem::path installed =
        (std::filesystem::path(executableFolder) / installedFromExecutable).lexically_normal();
    std::error_code error;
    return std::filesystem::is_directory(installed, error) ? installed.string() : executableFolder;
}

void usePlugoutFolder(const std::string& installedFromExecutable) {
    // Until it is set, the engine's plugpath is the executable's folder.
    FBS_SET_PLUGPATH(plugoutFolder(FBS_GET_PLUGPATH(), installedFromExecutable).c_str());
}

}  // namespace korvane
