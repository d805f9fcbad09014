#include "engine/core/abstract/QXLFormEditorMode.h"

std::atomic<bool> FormEditorMode{false};
