#pragma once
#include <string>

namespace isorelink::platform {

// Where the host and the module meet: the status file's fixed path.
// Windows: "C:\WINDOWS\Temp\errorcode.erc". Elsewhere there is no drive
// layout, so it lives in the temporary folder: $TMPDIR when set and not
// empty, otherwise /tmp, followed by "/errorcode.erc".
std::string status_file_path();

} // namespace isorelink::platform
