#pragma once
// Every expression node class with the operator codes, for the parser and
// the expression object that build and walk whole trees.
#include "engine/sql/nodes/QXLDataOperator.h"
#include "engine/sql/nodes/QXLExprNode.h"
#include "engine/sql/nodes/QXLExprNodeAggregated.h"
#include "engine/sql/nodes/QXLExprNodeArithmetic.h"
#include "engine/sql/nodes/QXLExprNodeBlob.h"
#include "engine/sql/nodes/QXLExprNodeBoolean.h"
#include "engine/sql/nodes/QXLExprNodeCase.h"
#include "engine/sql/nodes/QXLExprNodeCast.h"
#include "engine/sql/nodes/QXLExprNodeComparison.h"
#include "engine/sql/nodes/QXLExprNodeConst.h"
#include "engine/sql/nodes/QXLExprNodeDateFunction.h"
#include "engine/sql/nodes/QXLExprNodeField.h"
#include "engine/sql/nodes/QXLExprNodeStringFunction.h"
#include "engine/sql/nodes/QXLExprNodeSubquery.h"
#include "engine/sql/nodes/QXLExprNodeSystem.h"
#include "engine/sql/nodes/QXLSelectListItem.h"
#include "engine/sql/nodes/QXLSemicolonList.h"
#include "engine/sql/nodes/QXLSubqueryCommand.h"
#include "engine/sql/nodes/QXLSubqueryTests.h"

namespace qxl {



}  // namespace qxl
