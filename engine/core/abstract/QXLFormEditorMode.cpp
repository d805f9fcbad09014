#include "engine/core/abstract/QXLFormEditorMode.h"

bool FormEditorMode = false;
