#pragma once
// One user of a table of a database file through the engine's own session
// and local cursor, as one process has it: the dataset layer's part (the
// record buffer, the edit copy, the error codes) is played here. The table
// "Items" holds ID and Value (integers, Value NOT NULL), Note (a text of 20)
// and Doc (a BLOB); records are found by ID.
//
// Threads: one thread per user.
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/core/abstract/QXLDatabaseData.h"
#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLLocalSession.h"

namespace qxl::testsupport {

class TLocalCursorUser {
public:
  static constexpr std::int32_t IdField = 0, ValueField = 1, NoteField = 2, DocField = 3;
  static constexpr const char* TableName = "Items";

  // Connects a multi-user session named SessionName; Password "-" for a plain file.
  TLocalCursorUser(const std::string& File, const std::string& Password, const std::string& SessionName = "Main")
      : FSession(FDatabases, DiskDatabaseCreator()) {
    FSession.FDatabaseName = File;
    FSession.FMultiUser = true;
    FSession.FSessionName = SessionName;
    if (Password != "-") FSession.FPassword.Password = Password;
    FSession.SetConnected(true);
    FCursor = NewCursor();
  }
  ~TLocalCursorUser() {
    try {
      FCursor.reset();
      FSession.SetConnected(false);
    } catch (...) {
      // A user that failed half-way leaves through its process's end.
    }
  }
  TLocalCursorUser(const TLocalCursorUser&) = delete;
  TLocalCursorUser& operator=(const TLocalCursorUser&) = delete;

  TQXLLocalSession& Session() { return FSession; }
  TQXLLocalCursor& Cursor() { return *FCursor; }

  // A second cursor of this user's session on the table, opened.
  std::unique_ptr<TQXLLocalCursor> NewCursor() {
    auto C = std::make_unique<TQXLLocalCursor>();
    C->FSession = &FSession;
    C->FTableName = TableName;
    return C;
  }
  static void Open(TQXLLocalCursor& C) {
    C.OpenTableByFieldDefs(nullptr, nullptr, nullptr);
    C.FCurrentRecordBuffer = C.AllocateRecordBuffer();
    C.InternalFirst();
  }
  void Open() { Open(*FCursor); }

  // Creates "Items" (dropping an old one) through a cursor of this session.
  void CreateTable() {
    TQXLFieldDefs Fields;
    auto Add = [&](const char* Name, TQXLAdvancedFieldType Type, std::int32_t Size) {
      TQXLFieldDef* F = Fields.AddCreated();
      F->Name = Name;
      F->SetFieldDefDataType(Type, Size);
    };
    Add("ID", aftInteger, 0);
    Add("Value", aftInteger, 0);
    Add("Note", aftString, 20);
    Add("Doc", aftBlob, 0);
    TQXLIndexDefs Indexes;
    TQXLConstraintDefs Constraints;
    Constraints.AddNotNull()->ColumnName = "Value";
    std::unique_ptr<TQXLLocalCursor> C = NewCursor();
    C->CreateTable(Fields, Indexes, Constraints);
  }

  // Inserts a record through the cursor's post; raises unless it succeeds.
  void Insert(std::int32_t Id, std::int32_t Value, const std::string& Note = "") {
    TQXLLocalCursor& C = *FCursor;
    C.InternalInsert();
    C.InternalInitRecord(C.FCurrentRecordBuffer, true);
    Set(IdField, Id);
    Set(ValueField, Value);
    if (!Note.empty()) SetNote(Note);
    C.InternalPost(true);
    Check("insert");
  }

  // Moves onto the record with ID, read as the dataset reads it: the
  // record's identity goes into the buffer's bookmark bytes.
  void MoveTo(std::int32_t Id) {
    TQXLLocalCursor& C = *FCursor;
    C.InternalFirst();
    while (C.GetRecordBuffer(grmNext) == grrOK) {
      std::memcpy(C.FCurrentRecordBuffer + C.FBookmarkOffset, &C.CurrentRecordID, sizeof C.CurrentRecordID);
      C.FCurrentRecordBuffer[C.FBookmarkOffset + 6] = bfCurrent;
      if (Get(IdField) == Id) return;
    }
    throw std::runtime_error("no record with ID " + std::to_string(Id));
  }

  // The dataset's edit: its copy of the record, then the cursor's edit.
  void BeginEdit() {
    TQXLLocalCursor& C = *FCursor;
    if (!C.FEditRecordBuffer) C.FEditRecordBuffer = C.AllocateRecordBuffer();
    std::memcpy(C.FEditRecordBuffer, C.FCurrentRecordBuffer, static_cast<std::size_t>(C.FRecordBufferSize));
    C.InternalEdit();
  }
  void Post() { FCursor->InternalPost(false); }
  void Cancel() { FCursor->InternalCancel(false); }
  void Delete() { FCursor->InternalDelete(); }
  std::int32_t Code() const { return FCursor->ErrorCode(); }

  std::int32_t Get(std::int32_t FieldNo) const {
    std::int32_t Value = 0;
    if (!FCursor->GetFieldData(FieldNo, &Value, FCursor->FCurrentRecordBuffer))
      throw std::runtime_error("field " + std::to_string(FieldNo) + " is NULL");
    return Value;
  }
  void Set(std::int32_t FieldNo, std::int32_t Value) {
    FCursor->SetFieldData(FieldNo, &Value, FCursor->FCurrentRecordBuffer);
  }
  void SetNull(std::int32_t FieldNo) {
    TQXLVariant Null;
    FCursor->SetFieldValue(Null, FieldNo, false);
  }
  void SetNote(const std::string& Note) {
    TQXLVariant Text;
    Text.SetAsAnsiString(Note);
    FCursor->SetFieldValue(Text, NoteField, false);
  }
  // Writes Bytes into Doc of the current record through a BLOB stream.
  void WriteDoc(const std::string& Bytes) {
    TQXLStream* S = FCursor->InternalCreateBlobStream(false, true, DocField, bomWrite, false);
    if (!S) throw std::runtime_error("no BLOB stream");
    S->Write(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
    FCursor->InternalCloseBLOB(DocField);
  }
  std::string ReadDoc() {
    TQXLStream* S = FCursor->InternalCreateBlobStream(false, false, DocField, bomRead, true);
    if (!S) throw std::runtime_error("no BLOB stream");
    std::string Bytes(static_cast<std::size_t>(S->GetSize()), '\0');
    S->Read(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
    FCursor->InternalCloseBLOB(DocField);
    return Bytes;
  }

private:
  void Check(const char* What) const {
    if (FCursor->ErrorCode() != 0)
      throw std::runtime_error(std::string(What) + " failed with " + std::to_string(FCursor->ErrorCode()) + " " +
                               FCursor->ErrorMessage());
  }

  TQXLDatabaseDataList FDatabases;
  TQXLLocalSession FSession;
  std::unique_ptr<TQXLLocalCursor> FCursor;
};

}  // namespace qxl::testsupport
