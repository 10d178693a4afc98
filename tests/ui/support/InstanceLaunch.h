#pragma once

// Second launches of the single instance, for the tests of handing files over.

#include <QString>
#include <filesystem>
#include <vector>

namespace ombrix::uitest {

// A socket name no other test uses.
QString freshInstanceName();

// A second launch forwarding `files` to the instance at `name`, on its own thread as it
// would be in its own process; true when the instance took them.
bool forwardFromAnotherLaunch(const QString& name, std::vector<std::filesystem::path> files);

} // namespace ombrix::uitest
