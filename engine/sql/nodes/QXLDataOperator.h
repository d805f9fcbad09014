#pragma once
// The operator codes of expression nodes, the quantifiers of subquery
// comparisons and the parts EXTRACT takes, with the small routines over
// operators that the nodes and the expression object share. Stateless.
#include <cstdint>
#include <string>

namespace qxl {

// Completes the opaque declaration the core gives; one byte, values fixed by
// their order (cursors receive them through IsAnyRecordMatchCondition).
enum TQXLDataOperator : std::uint8_t {
  doUNDEFINED,
  doEQ,
  doNE,
  doGT,
  doLT,
  doGE,
  doLE,
  doNOT,
  doAND,
  doOR,
  doIN,
  doNOTIN,
  doEXISTS,
  doBETWEEN,
  doNOTBETWEEN,
  doLIKE,
  doNOTLIKE,
  doISNULL,
  doISNOTNULL,
  doTRUE,
  doFALSE,
  doADD,
  doSUB,
  doMUL,
  doDIV,
  doCONCAT,
  doUPPER,
  doLOWER,
  doTRIM,
  doLTRIM,
  doRTRIM,
  doLENGTH,
  doPOS,
  doSUBSTRING,
  doSUM,
  doAVG,
  doMIN,
  doMAX,
  doCOUNT,
  doCOUNTALL,
  doSYSDATE,
  doCURRENT_DATE,
  doCURRENT_TIME,
  doTODATE,
  doTOSTRING,
  doEXTRACT,
  doCAST,
  doLASTAUTOINC,
  doMIMETOBIN,
  doROWNUM,
  doABS,
  doACOS,
  doASIN,
  doATAN,
  doCEIL,
  doCOS,
  doEXP,
  doFLOOR,
  doLOG,
  doPOWER,
  doRAND,
  doROUND,
  doSIGN,
  doSIN,
  doSQR,
  doSQRT,
};
inline constexpr int QXLDataOperatorCount = 66;


enum TQXLQuantifier : std::uint8_t { qUNDEFINED, qALL, qANY };

enum TQXLDateTimeExtractField : std::uint8_t { dtefYear, dtefMonth, dtefDay, dtefHour, dtefMinute, dtefSecond };

// The operator's text in messages ("=", "LIKE", "COUNT(*)"); "unknown" for the
// operators that messages never name.
std::string OperatorText(TQXLDataOperator Op);

// The operator that holds with the operands swapped (GT for LT); doUNDEFINED
// for an operator that is not a comparison.
TQXLDataOperator MirrorComparisonOperator(TQXLDataOperator Op);
// The comparison that holds exactly when Op does not (LE for GT); doUNDEFINED
// for an operator that is not a comparison.
TQXLDataOperator NegateComparisonOperator(TQXLDataOperator Op);

}  // namespace qxl
