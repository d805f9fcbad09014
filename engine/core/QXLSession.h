#pragma once
// The abstract session: one connection of a database component to one
// database, with its open options, transaction state and a store of
// per-session named objects (auto-increment values among them).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/values/QXLShortString.h"

namespace qxl {

// An object of the dataset layer that the session only keeps for it.
class TQXLSessionComponentManager;

class TQXLSessionNamedObject {
public:
  // ObjectID -1; the name is cut to 255 bytes of its stored form.
  explicit TQXLSessionNamedObject(std::string_view Name) : Name(qxl::CutToAnsiLength(Name)) {}
  // An empty name.
  explicit TQXLSessionNamedObject(std::int32_t ObjectID) : ObjectID(ObjectID) {}
  virtual ~TQXLSessionNamedObject() = default;

  std::int32_t ObjectID = -1;
  std::string Name;
};

// The last auto-increment value that a session generated or inserted for the
// field whose definition has ObjectID.
class TQXLSessionNamedObjectSequenceValue : public TQXLSessionNamedObject {
public:
  TQXLSessionNamedObjectSequenceValue(std::int32_t ObjectID, std::int64_t Value)
      : TQXLSessionNamedObject(ObjectID), Value(Value) {}

  std::int64_t Value;
};

class TQXLBaseSession {
public:
  TQXLBaseSession() = default;
  virtual ~TQXLBaseSession() = default;
  TQXLBaseSession(const TQXLBaseSession&) = delete;
  TQXLBaseSession& operator=(const TQXLBaseSession&) = delete;

  virtual bool GetConnected() = 0;
  virtual void SetConnected(bool Value) = 0;
  virtual bool GetSuppressDBHeaderErrors() = 0;
  virtual void SetSuppressDBHeaderErrors(bool Value) = 0;
  virtual void CreateDatabase() = 0;
  virtual void DeleteDatabase() = 0;
  virtual void RenameDatabase(const std::string& NewDatabaseFileName) = 0;
  virtual void GetTablesList(std::vector<std::string>& List) = 0;
  virtual bool TableExists(const std::string& TableName) = 0;

  // Stores Value, replacing the object of the same identity: the same name
  // when Value's ObjectID is -1, else the same ObjectID. The new object goes last.
  virtual void SetObject(std::unique_ptr<TQXLSessionNamedObject> Value);
  // Names are compared after upper-casing; nullptr when absent.
  virtual TQXLSessionNamedObject* GetObjectByName(std::string_view ObjectName) const;
  virtual TQXLSessionNamedObject* GetObjectByID(std::int32_t ID) const;
  virtual void DeleteObject(std::int32_t ID);

  virtual void StartTransaction() = 0;
  virtual void Commit(bool DoFlushBuffers) = 0;
  virtual void Rollback() = 0;
  virtual void FlushBuffers() = 0;

  std::int32_t NamedObjectCount() const { return static_cast<std::int32_t>(FSessionNamedObjectList.size()); }
  TQXLSessionNamedObject* NamedObject(std::int32_t Index) const;

  std::string FDatabaseName;
  std::string FDatabaseFileName;
  std::int32_t FSessionID = -1;
  bool FInTransaction = false;
  bool FReadOnly = false;
  bool FExclusive = false;
  bool FInMemory = false;
  std::string FLogin;
  TQXLSessionComponentManager* FSessionHandle = nullptr;  // not owned
  std::int32_t FMaxSessionCount = 0;
  bool FRepairNeeded = false;
  bool FMultiUser = false;
  std::string FSessionName;

private:
  void Remove(const TQXLSessionNamedObject* Object);

  std::vector<std::unique_ptr<TQXLSessionNamedObject>> FSessionNamedObjectList;
};

}  // namespace qxl
