#pragma once
// The question for a database password after a wrong-password error, asked
// through the user-interface seam. Thread rule: the engine's one thread.
#include <string>

namespace qxl {

class TQXLDatabase;

// Asks with an empty password field; OK stores the typed text into the
// database's Password and answers true; Cancel changes nothing.
bool ShowDatabasePasswordDialog(TQXLDatabase& Database, const std::string& Text);

}  // namespace qxl
