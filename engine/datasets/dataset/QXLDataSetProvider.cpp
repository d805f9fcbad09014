// What the engine dataset answers a provider: transactions on its database
// and a reset.
#include "engine/core/QXLSession.h"
#include "engine/core/abstract/QXLCursor.h"
#include "engine/datasets/dataset/QXLDataSet.h"

namespace qxl {

bool TQXLDataSet::PSInTransaction() const { return FHandle && FHandle->FSession && FHandle->FSession->FInTransaction; }

void TQXLDataSet::PSStartTransaction() {
  SetDatabaseUse(duTransaction, true);
  try {
    FDatabase->StartTransaction();
  } catch (...) {
    SetDatabaseUse(duTransaction, false);
    throw;
  }
}

void TQXLDataSet::PSEndTransaction(bool Commit) {
  if (!FDatabase) return;
  if (Commit)
    FDatabase->Commit(true);
  else
    FDatabase->Rollback();
  SetDatabaseUse(duTransaction, false);
}

void TQXLDataSet::PSReset() {
  if (!Active()) return;
  Close();
  Open();
}

bool TQXLDataSet::PSUpdateRecord(TUpdateKind UpdateKind) {
  TUpdateAction action = uaFail;
  if (OnUpdateRecord) OnUpdateRecord(*this, UpdateKind, action);
  return action == uaApplied;
}

}  // namespace qxl
