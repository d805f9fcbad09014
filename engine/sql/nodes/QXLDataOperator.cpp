#include "engine/sql/nodes/QXLDataOperator.h"

namespace qxl {

std::string OperatorText(TQXLDataOperator Op) {
  switch (Op) {
    case doEQ: return "=";
    case doNE: return "<>";
    case doGT: return ">";
    case doLT: return "<";
    case doGE: return ">=";
    case doLE: return "<=";
    case doNOT: return "NOT";
    case doAND: return "AND";
    case doOR: return "OR";
    case doLIKE: return "LIKE";
    case doNOTLIKE: return "NOT LIKE";
    case doISNULL: return "IS NULL";
    case doISNOTNULL: return "IS NOT NULL";
    case doADD: return "+";
    case doSUB: return "-";
    case doMUL: return "*";
    case doDIV: return "/";
    case doCONCAT: return "||";
    case doUPPER: return "UPPER";
    case doLOWER: return "LOWER";
    case doTRIM: return "TRIM";
    case doLTRIM: return "LTRIM";
    case doRTRIM: return "RTRIM";
    case doSUM: return "SUM";
    case doAVG: return "AVG";
    case doMIN: return "MIN";
    case doMAX: return "MAX";
    case doCOUNT: return "COUNT";
    case doCOUNTALL: return "COUNT(*)";
    default: return "unknown";
  }
}

TQXLDataOperator MirrorComparisonOperator(TQXLDataOperator Op) {
  switch (Op) {
    case doEQ: return doEQ;
    case doNE: return doNE;
    case doGT: return doLT;
    case doLT: return doGT;
    case doGE: return doLE;
    case doLE: return doGE;
    default: return doUNDEFINED;
  }
}

TQXLDataOperator NegateComparisonOperator(TQXLDataOperator Op) {
  switch (Op) {
    case doEQ: return doNE;
    case doNE: return doEQ;
    case doGT: return doLE;
    case doLT: return doGE;
    case doGE: return doLT;
    case doLE: return doGT;
    default: return doUNDEFINED;
  }
}

}  // namespace qxl
