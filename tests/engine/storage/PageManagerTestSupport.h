#pragma once
// A database file's page manager as the storage tests drive it: opened as
// each process of a shared file opens it, and pages that session 0 adds and
// commits.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/storage/pager/QXLDiskPageManager.h"

namespace qxl {

// Opens the file Name through M shared between processes; true when the file
// asks for a repair.
inline bool OpenShared(TQXLDiskPageManager& M, const std::string& Name, const TQXLPassword& Password = {}) {
  bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
  M.OpenDatabase(Name, Password, ReadOnly, RepairNeeded, false, MultiUser);
  return RepairNeeded;
}

// A new page of session 0 holding Text, committed; its number.
inline std::int32_t AddCommittedPage(TQXLDiskPageManager& M, const char* Text) {
  TQXLPage* Page = M.AddPage(0, ptTableRecord);
  std::strcpy(reinterpret_cast<char*>(Page->PageData()), Text);
  const std::int32_t No = Page->PageNo();
  M.PutPage(Page);
  M.ApplyChanges(0);
  return No;
}

}  // namespace qxl
