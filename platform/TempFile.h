#pragma once
// Temporary files: "QXL"-prefixed names in the system's temporary folder.
#include <string>

namespace platform {

// $TMPDIR when set and not empty, else "/tmp"; without a trailing slash.
std::string TempDirectory();

// Reserves a new unique name in the temporary folder by creating an empty file
// there ("QXL" followed by six characters); whoever uses it deletes it.
std::string TempFileName();

}  // namespace platform
