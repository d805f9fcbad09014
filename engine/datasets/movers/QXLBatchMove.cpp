// The batch move: the destination prepared and its key index chosen, each
// source record merged by key, for synchronising the destination records
// without a source record deleted, and everything put back at the end.
#include "engine/datasets/movers/QXLBatchMove.h"

#include <cmath>
#include <memory>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/values/QXLShortString.h"
#include "engine/datasets/QXLAdvFieldDefs.h"
#include "engine/datasets/QXLAdvIndexDefs.h"
#include "engine/datasets/QXLIndexDefConversion.h"
#include "engine/datasets/base/CopyDatasetFieldValue.h"
#include "engine/datasets/base/Field.h"
#include "engine/datasets/table/QXLTable.h"
#include "platform/Format.h"

namespace qxl {

namespace {

bool NameInList(const std::vector<std::string>& List, const std::string& Name) {
  for (const std::string& item : List)
    if (SameNameIgnoringCase(item, Name)) return true;
  return false;
}

// Every source field Dest has a field of the same name for.
void CopyFields(TDataSet& Source, TDataSet& Dest) {
  for (std::int32_t i = 0; i < Source.FieldCount(); ++i) {
    const TField& field = Source.Fields(i);
    if (field.FieldKind != fkData) continue;
    if (TField* target = Dest.FindField(field.FieldName)) CopyDatasetFieldValue(field, *target);
  }
}

std::int32_t Percent(std::int64_t Done, std::int64_t Total) {
  if (Total <= 0) return 100;
  return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(Done) / static_cast<double>(Total) * 100.0));
}

// What the move changes on the two datasets, put back in this order
// whatever happens: the after event, the destination's index choice and
// master, the controls, the indexes made for the move, the positions.
class TBatchMoveScope {
public:
  TBatchMoveScope(TQXLTable& Dest, TQXLDataSet& Source) : FDest(Dest), FSource(Source) {
    Source.DisableControls();
    Dest.DisableControls();
    FSourceBookmark = Source.GetBookmark();
    FDestBookmark = Dest.GetBookmark();
    FIndexFieldNames = Dest.IndexFieldNames();
    FIndexName = Dest.IndexName();
    FMasterSource = Dest.MasterSource();
  }
  ~TBatchMoveScope() {
    Quietly([this] {
      if (FBeforeDone) FDest.DoAfterOperation(TQXLTableOperation::BatchMove);
    });
    Quietly([this] {
      if (!FIndexFieldNames.empty())
        FDest.SetIndexFieldNames(FIndexFieldNames);
      else
        FDest.SetIndexName(FIndexName);
    });
    Quietly([this] { FDest.SetMasterSource(FMasterSource); });
    FSource.EnableControls();
    FDest.EnableControls();
    if (auto* sourceTable = dynamic_cast<TQXLTable*>(&FSource)) {
      Quietly([&] {
        if (FSourceIndexTaken) {
          if (!FSourceIndexFieldNames.empty())
            sourceTable->SetIndexFieldNames(FSourceIndexFieldNames);
          else
            sourceTable->SetIndexName(FSourceIndexName);
        }
      });
      if (!FSourceCreatedIndex.empty()) Quietly([&] { sourceTable->DeleteIndex(FSourceCreatedIndex); });
    }
    if (!FDestCreatedIndex.empty()) Quietly([this] { FDest.DeleteIndex(FDestCreatedIndex); });
    Quietly([this] {
      if (!FSourceBookmark.empty() && FSource.Active() && FSource.BookmarkValid(FSourceBookmark))
        FSource.GotoBookmark(FSourceBookmark);
    });
    Quietly([this] {
      if (!FDestBookmark.empty() && FDest.Active() && FDest.BookmarkValid(FDestBookmark))
        FDest.GotoBookmark(FDestBookmark);
    });
  }
  TBatchMoveScope(const TBatchMoveScope&) = delete;
  TBatchMoveScope& operator=(const TBatchMoveScope&) = delete;

  // The source's index choice is changed for the synchronisation.
  void TakeSourceIndex(TQXLTable& Source) {
    FSourceIndexName = Source.IndexName();
    FSourceIndexFieldNames = Source.IndexFieldNames();
    FSourceIndexTaken = true;
  }

  bool FBeforeDone = false;
  std::string FDestCreatedIndex;
  std::string FSourceCreatedIndex;

private:
  template <typename Step>
  static void Quietly(Step&& Run) {
    try {
      Run();
    } catch (...) {
      // Putting back cannot fail the move; what it could not restore stays.
    }
  }

  TQXLTable& FDest;
  TQXLDataSet& FSource;
  TBookmark FSourceBookmark, FDestBookmark;
  std::string FIndexFieldNames, FIndexName;
  TDataSource* FMasterSource = nullptr;
  std::string FSourceIndexName, FSourceIndexFieldNames;
  bool FSourceIndexTaken = false;
};

// The index definitions the destination will have: its own, or the
// source's when it is made anew.
const TIndexDef* FindIndexDef(const TIndexDefs& Defs, const std::string& Name) {
  for (std::int32_t i = 0; i < Defs.Count(); ++i)
    if (SameNameIgnoringCase(Defs[i].Name, Name)) return &Defs[i];
  return nullptr;
}

}  // namespace

void BatchMove(TQXLTable& Dest, TQXLDataSet& Source, TQXLBatchMoveType MoveType, const std::string& DstIndexName) {
  TBatchMoveScope scope(Dest, Source);
  Dest.SetMasterSource(nullptr);
  Dest.SetIndexName("");
  Source.Open();

  const bool makeDest = MoveType == bmtCopy || !Dest.Exists();
  if (!DstIndexName.empty()) {
    if (makeDest) {
      if (!FindIndexDef(Source.IndexDefs(), DstIndexName))
        throw EQXLException(10325, "Cannot find index %s", {DstIndexName});
    } else {
      Dest.UpdateIndexDefs();
      if (!FindIndexDef(Dest.IndexDefs(), DstIndexName))
        throw EQXLException(10325, "Cannot find index %s", {DstIndexName});
    }
  }
  if (makeDest) {
    Dest.Close();
    Dest.FieldDefs().Assign(Source.FieldDefs());
    Dest.IndexDefs().Assign(Source.IndexDefs());
    // The table is made from the dataset definitions just taken.
    Dest.AdvFieldDefs().Clear();
    Dest.AdvIndexDefs().Clear();
    Dest.CreateTable();
  }
  Dest.Open();
  Source.First();

  // The key index; not needed when the whole source is copied.
  std::string keyIndex;
  std::vector<std::string> keyFields;
  if (MoveType != bmtCopy) {
    Dest.UpdateIndexDefs();
    keyIndex = DstIndexName;
    for (std::int32_t i = 0; keyIndex.empty() && i < Dest.IndexDefs().Count(); ++i)
      if (Dest.IndexDefs()[i].Options.Contains(ixPrimary)) keyIndex = Dest.IndexDefs()[i].Name;
    if (keyIndex.empty()) {
      std::vector<std::string> fields, asc, cases;
      for (std::int32_t i = 0; i < Source.FieldCount(); ++i) {
        const TField& field = Source.Fields(i);
        if (field.FieldKind != fkData || !Dest.FindField(field.FieldName)) continue;
        fields.push_back(Dest.FindField(field.FieldName)->FieldName);
        asc.push_back("ASC");
        cases.push_back("CASE");
      }
      bool created = false;
      keyIndex = Dest.FindOrCreateIndex(fields, asc, cases, created);
      if (created) scope.FDestCreatedIndex = keyIndex;
      // Ascending and case-sensitive over these fields.
      keyFields = fields;
    }
    Dest.SetIndexName(keyIndex);
  }
  const TIndexDef* keyDef = keyFields.empty() ? FindIndexDef(Dest.IndexDefs(), keyIndex) : nullptr;
  if (keyDef) SplitFieldList(keyFields, keyDef->Fields);

  std::int64_t total = Source.RecordCount();
  if (MoveType == bmtSynchronize) total += Dest.RecordCount();
  std::int64_t i = 1;
  bool Continue = true;
  Dest.DoBeforeOperation(TQXLTableOperation::BatchMove);
  scope.FBeforeDone = true;

  std::int64_t skipped = 0;
  std::string firstFailure;
  for (; !Source.Eof(); Source.Next(), ++i) {
    if (!Dest.DoOperationProgress(TQXLTableOperation::BatchMove, Percent(i, total))) Continue = false;
    if (!Continue) break;
    bool found = false;
    if (MoveType != bmtCopy) {
      Dest.SetKey();
      for (const std::string& name : keyFields) CopyDatasetFieldValue(Source.FieldByName(name), Dest.FieldByName(name));
      found = Dest.GotoKey();
    }
    if (found) {
      if (MoveType == bmtAppendUpdate || MoveType == bmtUpdate || MoveType == bmtSynchronize) {
        Dest.Edit();
        try {
          CopyFields(Source, Dest);
          Dest.Post();
        } catch (...) {
          Dest.Cancel();
          throw;
        }
      } else if (MoveType == bmtDelete) {
        Dest.Delete();
      }
      continue;
    }
    if (MoveType == bmtDelete || MoveType == bmtUpdate) continue;
    try {
      Dest.Insert();
      CopyFields(Source, Dest);
      Dest.Post();
    } catch (const std::exception& error) {
      try {
        Dest.Cancel();
      } catch (...) {
      }
      if (skipped++ == 0) firstFailure = error.what();
    }
  }

  if (MoveType == bmtSynchronize && Continue && !keyFields.empty()) {
    Dest.First();
    std::vector<std::string> directions, cases, descFields, caseInsFields;
    const bool descending = keyDef && keyDef->Options.Contains(ixDescending);
    const bool caseInsensitive = keyDef && keyDef->Options.Contains(ixCaseInsensitive);
    if (keyDef) {
      SplitFieldList(descFields, keyDef->DescFields);
      SplitFieldList(caseInsFields, keyDef->CaseInsFields);
    }
    for (const std::string& name : keyFields) {
      directions.push_back(descending || NameInList(descFields, name) ? "DESC" : "ASC");
      cases.push_back(caseInsensitive || NameInList(caseInsFields, name) ? "NO_CASE" : "CASE");
    }
    auto* sourceTable = dynamic_cast<TQXLTable*>(&Source);
    if (sourceTable) {
      scope.TakeSourceIndex(*sourceTable);
      bool created = false;
      const std::string name = sourceTable->FindOrCreateIndex(keyFields, directions, cases, created);
      if (created) scope.FSourceCreatedIndex = name;
      sourceTable->SetIndexName(name);
    }
    std::string keyList;
    for (const std::string& name : keyFields) keyList += (keyList.empty() ? "" : ";") + name;
    while (!Dest.Eof()) {
      if (!Dest.DoOperationProgress(TQXLTableOperation::BatchMove, Percent(i, total))) break;
      ++i;
      std::vector<Variant> key;
      for (const std::string& name : keyFields) key.push_back(Dest.FieldByName(name).AsVariant());
      const bool inSource = sourceTable ? sourceTable->FindKey(key) : Source.Locate(keyList, key, TLocateOptions{});
      if (inSource)
        Dest.Next();
      else
        Dest.Delete();
    }
  }

  if (skipped > 0)
    throw EQXLException(BatchMoveSkippedCode, "Batch move skipped %d record(s); the first failed with: %s",
                        {skipped, firstFailure});
}

}  // namespace qxl
