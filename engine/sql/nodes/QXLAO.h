#pragma once
// The relational operator that column references bind to; its full
// declaration lives with the operators.
#include "engine/sql/operators/QXLAO.h"
