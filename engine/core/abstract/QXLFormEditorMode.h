#pragma once
// Set by dataset components made inside a form editor (never by the
// programs): tables may then have no fields, and every access to a database
// file is bracketed by a design-time open and close. Process-wide; written
// only while no engine work runs, but read on every disk access from any
// thread, hence atomic.
#include <atomic>

namespace qxl {

extern std::atomic<bool> FormEditorMode;

}  // namespace qxl
