#pragma once

#include <QString>

namespace console {

// Claims the console of this program folder for the running process until
// it ends; false when another process holds it.
bool claimSingleInstance(const QString& appFolder);

} // namespace console
