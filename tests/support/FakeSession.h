#pragma once
// Stands in for the dataset layer's session: a plain session object with its
// named-object store; connecting and transactions do nothing.
#include <string>
#include <vector>

#include "engine/core/QXLSession.h"

namespace qxl {

class FakeSession : public TQXLBaseSession {
public:
  bool GetConnected() override { return false; }
  void SetConnected(bool) override {}
  bool GetSuppressDBHeaderErrors() override { return false; }
  void SetSuppressDBHeaderErrors(bool) override {}
  void CreateDatabase() override {}
  void DeleteDatabase() override {}
  void RenameDatabase(const std::string&) override {}
  void GetTablesList(std::vector<std::string>&) override {}
  bool TableExists(const std::string&) override { return false; }
  void StartTransaction() override {}
  void Commit(bool) override {}
  void Rollback() override {}
  void FlushBuffers() override {}
};

}  // namespace qxl
