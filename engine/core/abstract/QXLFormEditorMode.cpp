#include "engine/core/abstract/QXLFormEditorMode.h"

namespace qxl {

std::atomic<bool> FormEditorMode{false};

}  // namespace qxl
