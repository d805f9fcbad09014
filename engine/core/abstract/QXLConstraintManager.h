#pragma once
// The constraints of one open table (NOT NULL, CHECK, PRIMARY KEY, UNIQUE):
// ties them to the object IDs of the table's fields and indexes, names the
// unnamed ones, adds and removes those of primary and unique indexes, and
// checks a new or changed record against them before it is stored. Thread
// rule: no lock of its own; callers hold the table lock.
#include <cstdint>
#include <random>

#include "engine/core/schema/QXLConstraintDef.h"
#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

class TQXLIndexDef;
class TQXLStream;
class TQXLTableData;

class TQXLBaseConstraintManager {
public:
  explicit TQXLBaseConstraintManager(TQXLTableData* aTableData);
  virtual ~TQXLBaseConstraintManager() = default;
  TQXLBaseConstraintManager(const TQXLBaseConstraintManager&) = delete;
  TQXLBaseConstraintManager& operator=(const TQXLBaseConstraintManager&) = delete;

  TQXLConstraintDefs& ConstraintDefs() { return FConstraintDefs; }
  TQXLTableData* TableData() const { return FTableData; }

  void LoadMetadata(TQXLStream& Stream);
  void SaveMetadata(TQXLStream& Stream) const;
  // True when NewRecordBuffer satisfies every constraint; the first violation
  // raises (RaiseException) or gives false. PRIMARY KEY and UNIQUE are tested
  // only with CheckUniqueIndexes. Missing fields raise in both modes.
  bool CheckConstraints(std::int32_t SessionID, const std::uint8_t* NewRecordBuffer,
                        const std::uint8_t* OldRecordBuffer, bool ToInsert, const TQXLPageItemID& CurrentRecordID,
                        bool RaiseException, bool CheckUniqueIndexes);
  // Fills object IDs from the field and index names.
  void LinkObjectId(TQXLConstraintDef& ConstraintDef);
  void LinkObjectIds();
  void FillConstraintAutoNames();
  void AddConstraintFromIndex(const TQXLIndexDef& IndexDef);
  void DeleteConstraintForIndexID(std::int32_t IndexObjectID);

private:
  // Each returns false, or raises with RaiseException, on a violation.
  bool CheckNotNull(const TQXLColumnConstraintDef& Def, const std::uint8_t* Record, bool RaiseException);
  bool CheckRange(const TQXLConstraintDefCheck& Def, const std::uint8_t* Record, bool RaiseException);
  bool CheckKey(const TQXLConstraintDefUnique& Def, std::int32_t SessionID, const std::uint8_t* NewRecord,
                const std::uint8_t* OldRecord, bool ToInsert, const TQXLPageItemID& CurrentRecordID,
                bool RaiseException);
  std::string FreeName(const std::string& BaseName);

  TQXLConstraintDefs FConstraintDefs;
  TQXLTableData* FTableData;
  std::minstd_rand FRandom;
};

}  // namespace qxl
