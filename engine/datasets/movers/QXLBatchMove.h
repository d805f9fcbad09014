#pragma once
// Merging the records of an engine dataset into a table component's table
// by key: appending, updating, deleting, copying the whole source, or
// making the table hold exactly the source's records.
// Thread rule: one thread; both datasets are the caller's.
#include <cstdint>
#include <string>

namespace qxl {

class TQXLDataSet;
class TQXLTable;

enum TQXLBatchMoveType : std::uint8_t { bmtAppend, bmtAppendUpdate, bmtCopy, bmtDelete, bmtUpdate, bmtSynchronize };

// Source records that could not be inserted; raised after the move.
constexpr std::int32_t BatchMoveSkippedCode = 20330;

// Dest is the table that receives the records; it is made from Source's
// definitions when it does not exist or MoveType is bmtCopy. Equal records
// are found through the index named DstIndexName, else Dest's first
// primary index, else an index over the source fields Dest defines (made
// for the move). A record whose insert fails is skipped and the move goes
// on; afterwards BatchMoveSkippedCode names how many were skipped and the
// first failure. An index name Dest will not have raises before anything
// changes.
void BatchMove(TQXLTable& Dest, TQXLDataSet& Source, TQXLBatchMoveType MoveType, const std::string& DstIndexName);

}  // namespace qxl
