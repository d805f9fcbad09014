#pragma once
// The record copier behind the table operations that move whole tables
// (copy, import, export, restructure): every record of a source dataset is
// inserted into a destination dataset, fields matched by position, name or
// object id and values adapted to the destination's types. Per-record
// failures are written to a log, each line ended by CR LF; progress is
// reported and may stop the copy.
// Thread rule: one thread; both datasets are used by the caller's thread only.
#include <cstdint>
#include <functional>
#include <string>

namespace qxl {

class TComponent;
class TDataSet;

// Progress of a copy; setting Continue to false stops it after the record
// just copied.
using TQXLCopyProgressEvent = std::function<void(TDataSet& Sender, std::int32_t PercentDone, bool& Continue)>;

// A source field that has no field object (its type cannot be shown).
constexpr std::int32_t CopyFieldTypeCode = 10499;
// The source could not be moved to a next record and no later record could
// be reached.
constexpr std::int32_t CopyPositionCode = 20331;

// Copies Source (from its first record) into Dest, which must be open and
// writable. Owner names the operation's table in messages. Without
// IgnoreErrors the first failure is raised after its line was appended to
// ErrorText; with it the copy goes on and answers false. A stop through
// OnProgress (Sender: Source) sets Continue to false, appends
// "Terminated by User." and answers false. MatchByObjectID (both datasets
// tables) sends each source field to the destination field at the position
// of its object id in Source's RestructureFieldDefs. Source is left on the
// record it was on.
bool CopyTableData(const TComponent* Owner, TDataSet& Source, TDataSet& Dest, std::string& ErrorText, bool& Continue,
                   bool IgnoreErrors, bool MatchByObjectID, const TQXLCopyProgressEvent& OnProgress,
                   std::int32_t MinProgress, std::int32_t MaxProgress);

}  // namespace qxl
