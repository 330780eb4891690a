// Where the programs' output plug-outs lie. In a build folder they lie
// beside the executable, the engine's default. An installed program keeps
// them in a folder of its own (PREFIX/lib/korvane beside PREFIX/bin), named
// by its path relative to the executable's folder, so that an installed tree
// still works when it is moved. Main thread, before FBS_INIT.
#pragma once

#include <string>

namespace korvane {

// The installed folder, executableFolder + installedFromExecutable, when it
// is a folder; otherwise executableFolder. Both arguments and the result end
// in "/".
std::string plugoutFolder(const std::string& executableFolder, const std::string& installedFromExecutable);

// Points the engine at plugoutFolder() of the running executable's folder.
void usePlugoutFolder(const std::string& installedFromExecutable);

}  // namespace korvane
