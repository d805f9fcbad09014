#pragma once
// Stands in for the dataset layer's completion of the local cursor
// (navigation, filters, locate, the edit and post protocol): those slots are
// not reached by the tests that use it and say so if they are.
#include "engine/datasets/QXLLocalCursor.h"
#include "tests/support/UnreachedCursorSlots.h"

class FakeLocalCursor : public UnreachedCursorSlots<TQXLLocalCursor> {};
