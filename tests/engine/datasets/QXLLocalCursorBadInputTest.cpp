// The local cursor on a database file given what it must refuse: a key or a
// range bound that claims more fields than its index has (refused with its
// code, the cursor where it was, nothing read beyond the key), and a table
// whose stored definitions are damaged (the open refuses with the loader's
// code, or the first use of a damaged index with the key's; the cursor stays
// closed and the file is left as it was).
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <tuple>

#include "engine/core/abstract/QXLDatabaseDataList.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/datasets/QXLLocalCursor.h"
#include "engine/datasets/QXLLocalSession.h"
#include "engine/storage/disk/QXLDiskDatabaseData.h"
#include "engine/storage/disk/QXLDiskTableData.h"
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"
#include "tests/support/DiskTableUser.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace {

constexpr std::int32_t IdField = 0, NameField = 1;

class LocalCursorBadInputTest : public ::testing::Test {
protected:
  void SetUp() override {
    qxl::testsupport::CreateDatabaseFile(File, {}, 4);
    Session.FDatabaseName = File;
    Session.FMultiUser = true;
    Session.FSessionName = "Main";
    Session.SetConnected(true);
    for (const char* Table : {"People", "Spare"}) CreateTable(Table);
  }
  void TearDown() override {
    for (TQXLLocalCursor* C : {&Cursor, &Spare}) {
      if (C->FKeyBuffer) C->FreeRecordBuffer(C->FKeyBuffer);
      if (C->FIsOpen) C->CloseTable();
    }
    Session.SetConnected(false);
  }

  // ID and Name (a text of 20), indexed by ID and by ID and Name, with
  // records 1 to 5 named "n1" to "n5".
  void CreateTable(const char* Name) {
    TQXLFieldDefs Fields;
    for (auto [FieldName, Type, Size] : {std::tuple{"ID", aftInteger, 0}, std::tuple{"Name", aftString, 20}}) {
      TQXLFieldDef* F = Fields.AddCreated();
      F->Name = FieldName;
      F->SetFieldDefDataType(Type, Size);
    }
    TQXLIndexDefs Indexes;
    TQXLIndexDef* ById = Indexes.AddCreated();
    ById->Name = "ByID";
    ById->AssignByNames({"ID"}, {"ASC"}, {"CASE"});
    TQXLIndexDef* ByIdName = Indexes.AddCreated();
    ByIdName->Name = "ByIDName";
    ByIdName->AssignByNames({"ID", "Name"}, {"ASC", "DESC"}, {"CASE", "NO_CASE"});
    TQXLConstraintDefs Constraints;
    TQXLLocalCursor C;
    C.FSession = &Session;
    C.FTableName = Name;
    C.CreateTable(Fields, Indexes, Constraints);
    Open(C, Name);
    for (std::int32_t Id = 1; Id <= 5; ++Id) {
      C.InternalInsert();
      C.InternalInitRecord(C.FCurrentRecordBuffer, true);
      Set(C, C.FCurrentRecordBuffer, Id, "n" + std::to_string(Id));
      C.InternalPost(true);
      ASSERT_EQ(C.ErrorCode(), 0) << C.ErrorMessage();
    }
    C.CloseTable();
  }

  void Open(TQXLLocalCursor& C, const char* Name) {
    C.FSession = &Session;
    C.FTableName = Name;
    C.OpenTableByFieldDefs(nullptr, nullptr, nullptr);
    if (C.FCurrentRecordBuffer) C.FreeRecordBuffer(C.FCurrentRecordBuffer);
    C.FCurrentRecordBuffer = C.AllocateRecordBuffer();
    C.InternalFirst();
  }

  static void Set(TQXLLocalCursor& C, std::uint8_t* Buffer, std::int32_t Id, const std::string& Name) {
    TQXLVariant IdValue, NameValue;
    IdValue.SetAsInteger(Id);
    C.SetFieldValue(IdValue, IdField, false, Buffer);
    NameValue.SetAsAnsiString(Name);
    C.SetFieldValue(NameValue, NameField, false, Buffer);
  }

  static std::int32_t CurrentId(TQXLLocalCursor& C) {
    EXPECT_EQ(C.GetRecordBuffer(grmCurrent), grrOK);
    TQXLVariant v;
    C.GetFieldValue(v, IdField, false);
    return v.GetAsInteger();
  }

  // The IDs of the cursor's view from its first record on.
  static std::vector<std::int32_t> Ids(TQXLLocalCursor& C) {
    std::vector<std::int32_t> Result;
    C.InternalFirst();
    while (C.GetRecordBuffer(grmNext) == grrOK) {
      TQXLVariant v;
      C.GetFieldValue(v, IdField, false);
      Result.push_back(v.GetAsInteger());
    }
    return Result;
  }

  // Replaces the stored definitions of "People" by what Change makes of
  // them, committed by another user of the file.
  void RewriteDefinitions(const std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)>& Change) {
    qxl::testsupport::TDiskTableUser Writer(File, {});
    TQXLDiskDatabaseData& D = Writer.Database();
    std::int32_t Id = 0, MetadataPageNo = 0, MostUpdatedPageNo = 0, LocksPageNo = 0;
    D.FindTableListItem("People", Id, MetadataPageNo, MostUpdatedPageNo, LocksPageNo);
    TQXLInternalDBTransactedAccessFile Metadata(*D.DiskPageManager(), ptTableMetaData);
    Metadata.OpenFile(MetadataPageNo);
    const std::vector<std::uint8_t> Stored = Metadata.ReadContent(Writer.SessionID(), true);
    const std::vector<std::uint8_t> Changed = Change(Stored);
    // Nothing to compress is stored as it is (from a buffer that exists).
    const std::uint8_t None = 0;
    Metadata.WriteFile(QXLSystemSessionID, Changed.empty() ? &None : Changed.data(),
                       static_cast<std::int32_t>(Changed.size()), Changed.empty() ? acaNone : acaZLIB,
                       Changed.empty() ? 0 : 1);
    D.DiskPageManager()->ApplyChanges(QXLSystemSessionID);
  }

  TScratchDir Dir;
  std::string File = Dir.File("bad.qxl");
  platform::FakeClock Clock;
  platform::ScopedClock UseClock{Clock};
  TQXLDatabaseDataList Databases;
  TQXLLocalSession Session{Databases, qxl::DiskDatabaseCreator()};
  TQXLLocalCursor Cursor, Spare;
};

}  // namespace

// A key claims its field count in the key buffer's information; the index
// has fewer columns. The search is refused before anything compares past
// the key, and the cursor stays on its record.
TEST_F(LocalCursorBadInputTest, AKeyWithMoreFieldsThanItsIndexIsRefusedAndTheCursorStays) {
  Open(Cursor, "People");
  struct TCase {
    const char* Index;
    std::int32_t KeyFieldCount;
  };
  const TCase Cases[] = {{"ByID", 2}, {"ByIDName", 3}, {"ByIDName", INT_MAX}, {"ByID", -1}};
  Cursor.FKeyBuffer = Cursor.AllocateKeyRecordBuffer();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Index) + " / " + std::to_string(Case.KeyFieldCount));
    Cursor.SetIndexName(Case.Index);
    Cursor.InternalFirst();
    ASSERT_EQ(Cursor.GetRecordBuffer(grmNext), grrOK);
    ASSERT_EQ(Cursor.GetRecordBuffer(grmNext), grrOK);
    const TQXLPageItemID Before = Cursor.CurrentRecordID;
    Cursor.InternalInitKeyBuffer(Cursor.FKeyBuffer);
    Set(Cursor, Cursor.FKeyBuffer, 4, "n4");
    Cursor.FKeyFieldCount = Case.KeyFieldCount;
    EXPECT_EQ(NativeCodeOf([&] { Cursor.FindKey(scEqual); }), 10439);
    EXPECT_EQ(Cursor.FKeyFieldCount, Case.KeyFieldCount);
    EXPECT_EQ(Cursor.CurrentRecordID, Before);
    EXPECT_EQ(CurrentId(Cursor), 2);
    // The same key over the index's own columns is found.
    Cursor.FKeyFieldCount = 0;
    EXPECT_TRUE(Cursor.FindKey(scEqual));
    EXPECT_EQ(CurrentId(Cursor), 4);
  }
}

// A range bound over more fields than the index has would compare past its
// key at every step of the walk: the walk is refused with the scan
// condition's code, and the same bounds over the index's columns work.
TEST_F(LocalCursorBadInputTest, ARangeWithMoreFieldsThanItsIndexIsRefused) {
  Open(Cursor, "People");
  Cursor.SetIndexName("ByIDName");
  struct TCase {
    const char* Where;
    std::int32_t StartCount, EndCount;
    std::int32_t Code;
  };
  const TCase Cases[] = {
      {"start bound", 3, 1, 10388}, {"end bound", 1, 3, 10388}, {"both", 5, 5, 10388}, {"negative", -1, 1, 10388},
      {"within the index", 1, 2, 0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Where);
    std::uint8_t* Start = Cursor.AllocateKeyRecordBuffer();
    std::uint8_t* End = Cursor.AllocateKeyRecordBuffer();
    Cursor.InternalInitKeyBuffer(Start);
    Cursor.InternalInitKeyBuffer(End);
    Set(Cursor, Start, 2, "n2");
    Set(Cursor, End, 4, "a");
    Cursor.ApplyRange(Start, End, Case.StartCount, Case.EndCount, false, false);
    std::vector<std::int32_t> Seen;
    EXPECT_EQ(NativeCodeOf([&] { Seen = Ids(Cursor); }), Case.Code);
    if (Case.Code == 0) {
      EXPECT_EQ(Seen, (std::vector<std::int32_t>{2, 3, 4}));
    }
    Cursor.ResetRange();
    Cursor.FreeRecordBuffer(Start);
    Cursor.FreeRecordBuffer(End);
    EXPECT_EQ(Ids(Cursor), (std::vector<std::int32_t>{1, 2, 3, 4, 5})) << "the cursor works on without the range";
  }
}

namespace {

// The stored definitions of a table as the file holds them: the field list,
// the index list, and what follows them (constraints and the managers' own
// parts), each as its bytes.
struct TStoredDefinitions {
  TQXLFieldDefs Fields;
  TQXLIndexDefs Indexes;
  std::vector<std::uint8_t> Rest;
};

std::vector<std::uint8_t> Bytes(TQXLMemoryStream& S) {
  std::vector<std::uint8_t> Result(static_cast<std::size_t>(S.Size()));
  S.SetPosition(0);
  if (!Result.empty()) S.Read(Result.data(), static_cast<std::int32_t>(Result.size()));
  return Result;
}

std::vector<std::uint8_t> Store(const TStoredDefinitions& D) {
  TQXLMemoryStream S;
  D.Fields.SaveToStream(S);
  D.Indexes.SaveToStream(S);
  if (!D.Rest.empty()) S.Write(D.Rest.data(), static_cast<std::int32_t>(D.Rest.size()));
  return Bytes(S);
}

// How a case damages the stored definitions.
using TDamage = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>& Stored, TStoredDefinitions& D)>;

}  // namespace

// Each damage is written as the table's definitions through the table's
// metadata file and committed by another user, as a bad write or a bad disk
// leaves them. Opening the table refuses with the code of the part that does
// not load, every time; the cursor stays closed, the file keeps every byte,
// and the session's other table works. An index on a field the table lacks
// is only read when it is used: the table opens, and the index and every
// insert are refused with the key's code.
TEST_F(LocalCursorBadInputTest, ATableWhoseStoredDefinitionsAreDamagedIsRefusedAndNothingChanges) {
  struct TCase {
    const char* What;
    // The loader's code for what it cannot read; 0 where the table opens.
    std::int32_t Code;
    TDamage Damage;
  };
  const TCase Cases[] = {
      {"nothing stored", 10159, [](const auto&, auto&) { return std::vector<std::uint8_t>{}; }},
      {"cut inside the fields", 10169,
       [](const auto& S, auto&) { return std::vector<std::uint8_t>(S.begin(), S.begin() + 9); }},
      {"cut inside the indexes", 10167,
       [](const auto&, auto& D) {
         TQXLMemoryStream S;
         D.Fields.SaveToStream(S);
         std::vector<std::uint8_t> B = Bytes(S);
         B.insert(B.end(), {2, 0, 0, 0, 4, 'B', 'y'});
         return B;
       }},
      {"a field count past the end", 10186,
       [](const auto& S, auto&) {
         std::vector<std::uint8_t> B = S;
         const std::int32_t Count = INT_MAX;
         std::memcpy(B.data(), &Count, sizeof Count);
         return B;
       }},
      {"no fields", 10359,
       [](const auto& S, auto&) {
         std::vector<std::uint8_t> B = S;
         const std::int32_t Count = -1;
         std::memcpy(B.data(), &Count, sizeof Count);
         return B;
       }},
      {"an index column count past the end", 10358,
       [](const auto&, auto& D) {
         TQXLMemoryStream S;
         D.Fields.SaveToStream(S);
         std::vector<std::uint8_t> B = Bytes(S);
         const std::vector<std::uint8_t> Indexes = [&] {
           TQXLMemoryStream I;
           D.Indexes.SaveToStream(I);
           return Bytes(I);
         }();
         // Count, then the first index: name (length byte and text), object
         // ID, type, unique, primary, then its column count.
         std::vector<std::uint8_t> Damaged = Indexes;
         const std::size_t ColumnCountAt = 4 + 1 + Damaged[4] + 4 + 1 + 1 + 1;
         const std::int32_t Count = INT_MAX;
         std::memcpy(Damaged.data() + ColumnCountAt, &Count, sizeof Count);
         B.insert(B.end(), Damaged.begin(), Damaged.end());
         B.insert(B.end(), D.Rest.begin(), D.Rest.end());
         return B;
       }},
      // An index is read when it is first used.
      {"an index on a field the table does not have", 0,
       [](const auto&, auto& D) {
         D.Indexes.GetIndexDef(1)->AssignByNames({"ID", "Nope"}, {"ASC", "ASC"}, {"CASE", "CASE"});
         return Store(D);
       }},
      {"a field of a type the engine does not know", 30050,
       [](const auto&, auto& D) {
         TQXLMemoryStream S;
         D.Fields.SaveToStream(S);
         std::vector<std::uint8_t> B = Bytes(S);
         // Count, then the first field: name (length byte and text), object
         // ID, then its types.
         const std::size_t TypeAt = 4 + 1 + B[4] + 4;
         B[TypeAt] = 0xEE;
         B[TypeAt + 1] = 0xEE;
         TQXLMemoryStream I;
         D.Indexes.SaveToStream(I);
         const std::vector<std::uint8_t> Indexes = Bytes(I);
         B.insert(B.end(), Indexes.begin(), Indexes.end());
         B.insert(B.end(), D.Rest.begin(), D.Rest.end());
         return B;
       }},
  };
  Open(Spare, "Spare");
  const std::vector<std::int32_t> SpareIds = Ids(Spare);
  ASSERT_EQ(SpareIds.size(), 5u);
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    // The definitions are written and committed from another user of the file.
    std::vector<std::uint8_t> Sound;
    RewriteDefinitions([&](const std::vector<std::uint8_t>& Stored) {
      Sound = Stored;
      TStoredDefinitions D;
      TQXLMemoryStream S;
      S.Write(Stored.data(), static_cast<std::int32_t>(Stored.size()));
      S.SetPosition(0);
      D.Fields.LoadFromStream(S);
      D.Indexes.LoadFromStream(S);
      D.Rest.resize(static_cast<std::size_t>(S.Size() - S.Position()));
      if (!D.Rest.empty()) S.Read(D.Rest.data(), static_cast<std::int32_t>(D.Rest.size()));
      return Case.Damage(Stored, D);
    });
    const std::vector<std::uint8_t> FileBefore = ReadWholeFile(File);
    if (Case.Code != 0) {
      EXPECT_EQ(NativeCodeOf([&] { Open(Cursor, "People"); }), Case.Code);
      EXPECT_FALSE(Cursor.FIsOpen);
      EXPECT_EQ(NativeCodeOf([&] { Open(Cursor, "People"); }), Case.Code) << "a second open meets the same damage";
      EXPECT_FALSE(Cursor.FIsOpen);
    } else {
      // The records show in physical order; the damaged index, and an insert
      // that would keep it, are refused with the key's code.
      Open(Cursor, "People");
      EXPECT_EQ(Ids(Cursor), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
      EXPECT_EQ(NativeCodeOf([&] {
                  Cursor.SetIndexName("ByIDName");
                  Ids(Cursor);
                }),
                20043);
      Cursor.SetIndexName("");
      Cursor.InternalInsert();
      Cursor.InternalInitRecord(Cursor.FCurrentRecordBuffer, true);
      Set(Cursor, Cursor.FCurrentRecordBuffer, 6, "n6");
      const std::int32_t InsertCode = NativeCodeOf([&] { Cursor.InternalPost(true); });
      EXPECT_EQ(InsertCode, 20043) << Cursor.ErrorCode() << " " << Cursor.ErrorMessage();
      EXPECT_EQ(Ids(Cursor), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
      Cursor.CloseTable();
    }
    EXPECT_EQ(Ids(Spare), SpareIds);
    EXPECT_TRUE(ReadWholeFile(File) == FileBefore) << "the refused step changed the file";
    // The sound definitions go back for the next case.
    RewriteDefinitions([&](const std::vector<std::uint8_t>&) { return Sound; });
    Open(Cursor, "People");
    EXPECT_EQ(Ids(Cursor), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    Cursor.CloseTable();
  }
}
