#pragma once
// Helpers of the record and BLOB store tests: a memory page manager with the
// pages of a database file, record page rules that tests can steer, and one
// table (an integer key and a byte field sized to give the wanted number of
// records per page) with its record manager.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/abstract/QXLFieldManager.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/records/QXLDiskRecordManager.h"
#include "engine/storage/records/QXLRecordPageRules.h"
#include "tests/engine/storage/btree/BTreeTestUtil.h"

namespace qxl::test {

// Page numbers as a database file has them: PageCount is one past the highest.
// Armed, it refuses every index page fetch once a record page was fetched or
// added, as a damaged or full index would in the middle of an add.
class TRecordPageManager : public TDiskGeometryPageManager {
public:
  std::int32_t GetPageCount() override { return LastAllocatedPageNo() + 1; }
  TQXLPage* GetPage(std::int32_t SessionID, std::int32_t PageNo, std::uint16_t PageType,
                    bool SynchronizeAllowed) override {
    if (FailIndexAfterRecordPage && PageType == ptTableRecord) Tripped = true;
    if (Tripped && PageType == ptTableIndex) throw EQXLException(20299, "Index page refused");
    return TDiskGeometryPageManager::GetPage(SessionID, PageNo, PageType, SynchronizeAllowed);
  }
  void InternalAddPage(TQXLPage* Page) override {
    TDiskGeometryPageManager::InternalAddPage(Page);
    if (FailIndexAfterRecordPage) Tripped = true;
  }
  void Disarm() { FailIndexAfterRecordPage = Tripped = false; }

  bool FailIndexAfterRecordPage = false;
  bool Tripped = false;
};

class TTestRecordPageRules : public TQXLRecordPageRules {
public:
  TTestRecordPageRules(TQXLMemoryPageManager& PageManager, std::int32_t TableID)
      : FPageManager(PageManager), FTableID(TableID) {}
  std::int32_t TableID() const override { return FTableID; }
  bool AcceptAnyPage() override { return AcceptAll; }
  bool IsPageUsed(std::int32_t PageNo) override { return FPageManager.IsPageInUse(PageNo); }
  bool AcceptAll = false;

private:
  TQXLMemoryPageManager& FPageManager;
  std::int32_t FTableID;
};

inline constexpr std::int32_t TestSession = 0;

// One table: field 0 an integer key, field 1 bytes of PayloadSize; more
// fields (BLOBs) may be added before Open.
class TTestTable {
public:
  TTestTable(TRecordPageManager& PageManager, std::int32_t TableID)
      : PM(PageManager), Fields(nullptr), Rules(PageManager, TableID) {}

  TQXLFieldDef& AddField(const char* Name, TQXLAdvancedFieldType Type, std::int32_t Size = 0) {
    TQXLFieldDef* f = Fields.FieldDefs().AddCreated();
    f->Name = Name;
    f->ObjectID = 100 + Fields.FieldDefs().Count();
    f->SetFieldDefDataType(Type, Size);
    return *f;
  }
  // Key and payload fields, then the record manager on a new, committed index.
  void Open(std::int32_t PayloadSize, bool Extra = false) {
    if (!Extra) {
      AddField("Id", aftInteger);
      AddField("Payload", aftBytes, PayloadSize);
    }
    Fields.RecalcFieldOffsets();
    Manager = std::make_unique<TQXLDiskRecordManager>(PM, Fields, Rules);
    Manager->Init(Fields.FieldDefs().GetMemoryRecordBufferSize(), Fields.FieldDefs().GetDiskRecordBufferSize(),
                  Fields.FieldDefs().Count());
    Manager->CreateRecordPageIndex();
    PM.ApplyChanges(QXLSystemSessionID);
  }
  std::vector<std::uint8_t> Record(std::int32_t Key) const {
    std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(Fields.FieldDefs().GetMemoryRecordBufferSize()), 0);
    std::memcpy(Buffer.data() + Fields.FieldDefs().GetDef(0)->MemoryOffset, &Key, sizeof Key);
    return Buffer;
  }
  std::int32_t KeyOf(const std::vector<std::uint8_t>& Buffer) const {
    std::int32_t Key = 0;
    std::memcpy(&Key, Buffer.data() + Fields.FieldDefs().GetDef(0)->MemoryOffset, sizeof Key);
    return Key;
  }
  TQXLPageItemID Add(std::int32_t Key) {
    TQXLPageItemID ID;
    const std::vector<std::uint8_t> Buffer = Record(Key);
    EXPECT_TRUE(Manager->AddRecord(TestSession, Buffer.data(), ID));
    return ID;
  }

  TRecordPageManager& PM;
  TQXLBaseFieldManager Fields;
  TTestRecordPageRules Rules;
  std::unique_ptr<TQXLDiskRecordManager> Manager;
};

}  // namespace qxl::test
