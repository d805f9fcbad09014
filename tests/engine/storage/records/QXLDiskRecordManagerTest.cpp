// Record pages and the disk record manager: records per page, slot reuse,
// removal of emptied pages, navigation in page order, record numbers, the
// stored counters, repair of the page index, and pages that are not this
// table's or claim more than they hold.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/abstract/QXLFieldAccessor.h"
#include "engine/storage/pager/QXLPageHold.h"
#include "engine/storage/pager/QXLPageHeaderFields.h"
#include "engine/storage/records/QXLSmallRecordPage.h"
#include "tests/engine/storage/records/RecordTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::test {
namespace {

constexpr std::int32_t TableID = 7;
// Gives four records of about 900 bytes on a page of 4056 data bytes.
constexpr std::int32_t FourPerPage = 900;

class DiskRecordManagerTest : public ::testing::Test {
protected:
  TRecordPageManager PM;
  TTestTable Table{PM, TableID};
  TQXLDiskRecordManager& M() { return *Table.Manager; }

  TQXLNavigationInfo Nav(TQXLGetRecordMode Mode, TQXLPageItemID From = {}, bool First = false, bool Last = false) {
    TQXLNavigationInfo Info;
    Info.GetRecordMode = Mode;
    Info.RecordID = From;
    Info.FirstPosition = First;
    Info.LastPosition = Last;
    Buffer = Table.Record(0);
    Info.RecordBuffer = Buffer.data();
    return Info;
  }
  // The keys in physical order, walked forward or backward.
  std::vector<std::int32_t> Walk(bool Forward) {
    std::vector<std::int32_t> Keys;
    TQXLNavigationInfo Info = Nav(Forward ? grmNext : grmPrior, {}, Forward, !Forward);
    for (M().GetRecordBuffer(TestSession, Info); Info.GetRecordResult == grrOK;
         M().GetRecordBuffer(TestSession, Info))
      Keys.push_back(Table.KeyOf(Buffer));
    EXPECT_EQ(Info.GetRecordResult, Forward ? grrEOF : grrBOF);
    return Keys;
  }
  std::uint8_t* PageData(std::int32_t PageNo) {
    TQXLPageHold Page(PM, PM.GetPage(TestSession, PageNo, ptAny, false));
    return Page->PageData();
  }
  bool IsDirty(std::int32_t PageNo) {
    TQXLPageHold Page(PM, PM.GetPage(TestSession, PageNo, ptAny, false));
    return Page->IsDirty();
  }

  std::vector<std::uint8_t> Buffer;
};

TEST(RecordsPerPage, FollowTheRecordSizeAndRefuseARecordThatCannotFit) {
  struct Case {
    std::int32_t DiskSize;
    std::int32_t Expected;  // 0: refused
  };
  // (4056 - 1) / (D + 1/8), truncated; one record needs D <= 4054.
  for (const Case c : {Case{100, 40}, Case{1, 3604}, Case{4054, 1}, Case{4055, 0}, Case{900, 4}}) {
    TRecordPageManager PM;
    TTestRecordPageRules Rules(PM, TableID);
    TQXLBaseFieldManager Fields(nullptr);
    TQXLDiskRecordManager Manager(PM, Fields, Rules);
    if (c.Expected == 0) {
      EXPECT_EQ(NativeCodeOf([&] { Manager.Init(c.DiskSize, c.DiskSize, 1); }), 20174) << c.DiskSize;
      continue;
    }
    Manager.Init(c.DiskSize, c.DiskSize, 1);
    EXPECT_EQ(Manager.MaxRecordsOnPage(), c.Expected) << c.DiskSize;
    // The bitmap and the slots of the page view fit the data area exactly as computed.
    TQXLPageHold Page(PM, PM.AddPage(TestSession, ptTableRecord));
    EXPECT_NO_THROW(TQXLSmallRecordPage(&*Page, c.DiskSize, c.Expected));
    EXPECT_EQ(NativeCodeOf([&] { TQXLSmallRecordPage(&*Page, c.DiskSize, c.Expected * 2); }), 20140);
  }
}

TEST_F(DiskRecordManagerTest, AFreedSlotIsTheFirstReusedAndTheCountersFollowEveryChange) {
  Table.Open(FourPerPage);
  const TQXLPageItemID A = Table.Add(1), B = Table.Add(2), C = Table.Add(3);
  EXPECT_EQ(A.PageNo, B.PageNo);
  EXPECT_EQ((std::vector<int>{A.PageItemNo, B.PageItemNo, C.PageItemNo}), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(M().RecordCount(), 3);
  EXPECT_EQ(M().TableState(), 3);

  TQXLPageItemID Gone = B;
  EXPECT_TRUE(M().DeleteRecord(TestSession, Gone));
  EXPECT_FALSE(M().DeleteRecord(TestSession, Gone)) << "a free slot is not deleted twice";
  EXPECT_EQ(M().TableState(), 4);
  const std::vector<std::uint8_t> Changed = Table.Record(22);
  EXPECT_FALSE(M().UpdateRecord(TestSession, Changed.data(), B));
  EXPECT_EQ(M().TableState(), 4) << "a refused change is no change";

  EXPECT_EQ(Table.Add(4), B) << "the new record takes the freed slot";
  EXPECT_TRUE(M().UpdateRecord(TestSession, Changed.data(), B));
  EXPECT_EQ(M().RecordCount(), 3);
  EXPECT_EQ(M().TableState(), 6);
  EXPECT_EQ(Walk(true), (std::vector<std::int32_t>{1, 22, 3}));
}

TEST_F(DiskRecordManagerTest, EmptiedPageLeavesTheIndexAndTheNextAddTakesANewPage) {
  Table.Open(FourPerPage);
  ASSERT_EQ(M().MaxRecordsOnPage(), 4);
  std::vector<TQXLPageItemID> IDs;
  for (int k = 1; k <= 5; ++k) IDs.push_back(Table.Add(k));
  const std::int32_t Second = IDs[4].PageNo;
  ASSERT_NE(IDs[0].PageNo, Second);

  EXPECT_TRUE(M().DeleteRecord(TestSession, IDs[4]));
  EXPECT_TRUE(PM.FindSession(TestSession)->RemovedPageNumbers.IsValueExists(Second));
  EXPECT_NO_THROW(M().ValidateRecordPageIndex(TestSession));
  std::int32_t Last = -1;
  ASSERT_TRUE(M().RecordPageIndex().GetLastRecordPage(TestSession, Last));
  EXPECT_EQ(Last, IDs[0].PageNo) << "the emptied page has no index entry";

  PM.ApplyChanges(TestSession);
  const TQXLPageItemID Next = Table.Add(6);
  EXPECT_NE(Next.PageNo, IDs[0].PageNo) << "the full first page is not offered";
  EXPECT_EQ(Next.PageItemNo, 0);
  EXPECT_EQ(Walk(true), (std::vector<std::int32_t>{1, 2, 3, 4, 6}));
  EXPECT_EQ(Walk(false), (std::vector<std::int32_t>{6, 4, 3, 2, 1}));
}

TEST_F(DiskRecordManagerTest, NavigationFromFirstLastAndGivenPositions) {
  Table.Open(FourPerPage);
  EXPECT_EQ(Walk(true), std::vector<std::int32_t>{}) << "an empty table gives EOF";
  for (auto Mode : {grmCurrent, grmNext, grmPrior}) {
    TQXLNavigationInfo Info = Nav(Mode, {}, true);
    M().GetRecordBuffer(TestSession, Info);
    EXPECT_EQ(Info.GetRecordResult, grrEOF) << "any request on an empty table";
  }
  std::vector<TQXLPageItemID> IDs;
  for (int k = 1; k <= 9; ++k) IDs.push_back(Table.Add(k));
  EXPECT_EQ(Walk(true), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Walk(false), (std::vector<std::int32_t>{9, 8, 7, 6, 5, 4, 3, 2, 1}));

  struct Case {
    TQXLGetRecordMode Mode;
    bool First, Last;
    TQXLGetRecordResult Result;
  };
  for (const Case c : {Case{grmCurrent, true, false, grrError}, Case{grmPrior, true, false, grrBOF},
                       Case{grmCurrent, false, true, grrError}, Case{grmNext, false, true, grrEOF}}) {
    TQXLNavigationInfo Info = Nav(c.Mode, {}, c.First, c.Last);
    M().GetRecordBuffer(TestSession, Info);
    EXPECT_EQ(Info.GetRecordResult, c.Result);
    EXPECT_EQ(Info.FirstPosition, c.First) << "positions are kept unless a record was read";
  }

  // From a deleted record: next and prior still find the neighbours; current fails.
  TQXLPageItemID Gone = IDs[4];
  ASSERT_TRUE(M().DeleteRecord(TestSession, Gone));
  TQXLNavigationInfo Info = Nav(grmNext, Gone);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Table.KeyOf(Buffer), 6);
  EXPECT_EQ(Info.RecordID, IDs[5]);
  Info = Nav(grmPrior, Gone);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Table.KeyOf(Buffer), 4);
  Info = Nav(grmCurrent, Gone);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrError);
  Info = Nav(grmCurrent, IDs[6]);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrOK);
  EXPECT_EQ(Table.KeyOf(Buffer), 7);
}

TEST_F(DiskRecordManagerTest, RecordNumbersCountInPageOrderFromOne) {
  Table.Open(FourPerPage);
  std::vector<TQXLPageItemID> IDs;
  for (int k = 1; k <= 10; ++k) IDs.push_back(Table.Add(k));
  TQXLPageItemID Gone = IDs[1];
  ASSERT_TRUE(M().DeleteRecord(TestSession, Gone));
  IDs.erase(IDs.begin() + 1);
  for (std::size_t i = 0; i < IDs.size(); ++i) {
    TQXLPageItemID ID;
    M().SetRecNo(TestSession, static_cast<std::int64_t>(i) + 1, ID);
    EXPECT_EQ(ID, IDs[i]) << i;
    std::int64_t RecNo = 0;
    M().GetRecNo(TestSession, IDs[i], RecNo);
    EXPECT_EQ(RecNo, static_cast<std::int64_t>(i) + 1);
  }
  TQXLPageItemID ID;
  EXPECT_EQ(NativeCodeOf([&] { M().SetRecNo(TestSession, 10, ID); }), 20113);
  EXPECT_EQ(M().GetApproximateRecNo(TestSession, IDs[0]), 4);
}

TEST(CompareRecordID, OrdersByPageAsSignedThenBySlotAsUnsigned) {
  TRecordPageManager PM;
  TTestRecordPageRules Rules(PM, TableID);
  TQXLBaseFieldManager Fields(nullptr);
  TQXLDiskRecordManager Manager(PM, Fields, Rules);
  struct Case {
    TQXLPageItemID A, B;
    std::int32_t Result;
  };
  for (const Case c : {Case{{5, 0}, {5, 1}, -1}, Case{{5, 1}, {6, 0}, -1}, Case{{6, 0}, {5, 65535}, 1},
                       Case{{-1, 0}, {1, 0}, -1}, Case{{5, 65535}, {5, 1}, 1}, Case{{5, 3}, {5, 3}, 0}})
    EXPECT_EQ(Manager.CompareRecordID(c.A, c.B), c.Result) << c.A.PageNo << "," << c.A.PageItemNo;
}

TEST_F(DiskRecordManagerTest, StoredCountersKeepTheLow32BitsAndRefuseAShortBuffer) {
  Table.Open(FourPerPage);
  Table.Add(1);
  std::uint8_t Buf[12] = {};
  std::int32_t Offset = 4;
  M().SaveMostUpdated(Buf, sizeof Buf, Offset);
  EXPECT_EQ(Offset, 12);
  const std::uint8_t Expected[8] = {1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Buf + 4, Expected, 8), 0);

  const std::uint8_t Big[8] = {9, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  Offset = 0;
  M().LoadMostUpdated(Big, sizeof Big, Offset);
  EXPECT_EQ(M().RecordCount(), 4294967295LL) << "unsigned, high bits zero";
  EXPECT_EQ(M().TableState(), 9);

  Offset = 1;
  EXPECT_EQ(NativeCodeOf([&] { M().LoadMostUpdated(Big, sizeof Big, Offset); }), 20289);
  EXPECT_EQ(Offset, 1);
  EXPECT_EQ(M().TableState(), 9);
  EXPECT_EQ(NativeCodeOf([&] { M().SaveMostUpdated(Buf, sizeof Buf, Offset = 5); }), 20289);
}

// Emptying a table and filling it again must not bring the table state back
// to a value that cached pages and bitmaps already remember.
TEST_F(DiskRecordManagerTest, EmptyAdvancesTheTableStateInsteadOfResettingIt) {
  Table.Open(FourPerPage);
  for (int k = 1; k <= 6; ++k) Table.Add(k);
  const std::int32_t Before = M().TableState();
  M().Empty(TestSession);
  EXPECT_EQ(M().RecordCount(), 0);
  EXPECT_GT(M().TableState(), Before);
  EXPECT_EQ(Walk(true), std::vector<std::int32_t>{});
  for (int k = 1; k <= 6; ++k) Table.Add(k);
  EXPECT_NE(M().TableState(), Before) << "refilled to the same count, the state still differs";
  EXPECT_NO_THROW(M().ValidateRecordPageIndex(TestSession));
}

// An add that fails part-way leaves the counters and the page as they were
// and tells why it failed.
TEST_F(DiskRecordManagerTest, FailedAddChangesNothingAndKeepsItsCause) {
  Table.Open(FourPerPage);
  const TQXLPageItemID First = Table.Add(1);
  PM.ApplyChanges(TestSession);
  for (bool NewPage : {false, true}) {
    if (NewPage) {
      for (int k = 2; k <= 4; ++k) Table.Add(k);
      PM.ApplyChanges(TestSession);
    }
    const std::int64_t Count = M().RecordCount();
    const std::int32_t State = M().TableState();
    PM.FailIndexAfterRecordPage = true;
    TQXLPageItemID ID{-5, 5};
    const std::vector<std::uint8_t> Record = Table.Record(99);
    EXPECT_EQ(NativeCodeOf([&] { M().AddRecord(TestSession, Record.data(), ID); }), 20299);
    PM.Disarm();
    EXPECT_EQ(ID, (TQXLPageItemID{-5, 5})) << "no identity handed out";
    EXPECT_EQ(M().RecordCount(), Count);
    EXPECT_EQ(M().TableState(), State);
    if (NewPage) {
      EXPECT_EQ(PM.FindSession(TestSession)->RemovedPageNumbers.ItemCount(), 1) << "the new page goes back";
    } else {
      EXPECT_FALSE(IsDirty(First.PageNo)) << "the page stays the stored copy";
      EXPECT_EQ(PageData(First.PageNo)[0], 0x01);
    }
    EXPECT_NO_THROW(M().ValidateRecordPageIndex(TestSession));
  }
  EXPECT_EQ(Walk(true), (std::vector<std::int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(Table.Add(5).PageItemNo, 0);
}

// A reference to a page that another table now uses: reads treat it as gone,
// changes are refused and leave that page alone.
TEST_F(DiskRecordManagerTest, PageOfAnotherTableIsNeverReadOrChangedAsOurs) {
  Table.Open(FourPerPage);
  TTestTable Other(PM, TableID + 1);
  Other.Open(FourPerPage);
  for (int k = 1; k <= 3; ++k) Table.Add(k);
  const TQXLPageItemID Foreign = Other.Add(100);
  PM.ApplyChanges(TestSession);

  TQXLNavigationInfo Info = Nav(grmCurrent, Foreign);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrError);
  Info = Nav(grmNext, Foreign);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrEOF);
  Info = Nav(grmPrior, Foreign);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrOK) << "prior from a lost page gives the last record";
  EXPECT_EQ(Table.KeyOf(Buffer), 3);

  const std::vector<std::uint8_t> Record = Table.Record(5);
  TQXLPageItemID ID = Foreign;
  EXPECT_EQ(NativeCodeOf([&] { M().UpdateRecord(TestSession, Record.data(), Foreign); }), 20173);
  EXPECT_EQ(NativeCodeOf([&] { M().DeleteRecord(TestSession, ID); }), 20173);
  std::int64_t RecNo = 0;
  EXPECT_EQ(NativeCodeOf([&] { M().GetRecNo(TestSession, Foreign, RecNo); }), 20173);
  EXPECT_FALSE(IsDirty(Foreign.PageNo));
  EXPECT_EQ(M().TableState(), 3);
  EXPECT_EQ(Other.Manager->RecordCount(), 1);

  // A page of another type is no record page at all.
  std::int32_t IndexRoot = M().RecordPageIndex().RootPageNo();
  EXPECT_EQ(NativeCodeOf([&] { M().UpdateRecord(TestSession, Record.data(), {IndexRoot, 0}); }), 20153);
  Info = Nav(grmCurrent, {IndexRoot, 0});
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrError);

  // In repair mode pages are taken as they are.
  Table.Rules.AcceptAll = true;
  Info = Nav(grmCurrent, Foreign);
  M().GetRecordBuffer(TestSession, Info);
  EXPECT_EQ(Info.GetRecordResult, grrOK);
  EXPECT_EQ(Table.KeyOf(Buffer), 100);
}

// A damaged bitmap with bits set past the last slot, and slot numbers past
// the page: nothing beyond the slots is read, written or counted.
TEST_F(DiskRecordManagerTest, BitmapBitsAndSlotNumbersPastThePageAreIgnored) {
  Table.Open(FourPerPage);
  const TQXLPageItemID A = Table.Add(1);
  PM.ApplyChanges(TestSession);
  {
    TQXLPageHold Page(PM, PM.GetPage(TestSession, A.PageNo, ptTableRecord, false));
    Page->MakeWritable();
    Page->PageData()[0] = 0xF1;  // slot 0 used, the four bits past slot 3 set
    TQXLSmallRecordPage View(&*Page, M().DiskRecordBufferSize(), M().MaxRecordsOnPage());
    EXPECT_EQ(View.RecordCount(), 1);
    TQXLPageItemID Last;
    View.GetLastRecordID(Last);
    EXPECT_EQ(Last.PageItemNo, 0);
    EXPECT_EQ(NativeCodeOf([&] { View.GetRecordID(1, Last); }), 20146);
  }
  PM.ApplyChanges(TestSession);
  const std::vector<std::uint8_t> Record = Table.Record(5);
  for (std::uint16_t Slot : {std::uint16_t{4}, std::uint16_t{7}, std::uint16_t{65535}}) {
    TQXLPageItemID Past{A.PageNo, Slot};
    EXPECT_FALSE(M().UpdateRecord(TestSession, Record.data(), Past)) << Slot;
    EXPECT_FALSE(M().DeleteRecord(TestSession, Past)) << Slot;
    TQXLNavigationInfo Info = Nav(grmCurrent, Past);
    M().GetRecordBuffer(TestSession, Info);
    EXPECT_EQ(Info.GetRecordResult, grrError);
    Info = Nav(grmPrior, Past);
    M().GetRecordBuffer(TestSession, Info);
    EXPECT_EQ(Table.KeyOf(Buffer), 1);
  }
  EXPECT_FALSE(IsDirty(A.PageNo));
  EXPECT_EQ(M().TableState(), 1);

  // A page the index counts as holding more records than its bitmap shows.
  M().RecordPageIndex().AddRecord(TestSession, A.PageNo, 2);
  TQXLPageItemID ID;
  EXPECT_EQ(NativeCodeOf([&] { M().SetRecNo(TestSession, 3, ID); }), 20146);
  EXPECT_EQ(NativeCodeOf([&] { M().ValidateRecordPageIndex(TestSession); }), 20292);
}

TEST_F(DiskRecordManagerTest, RebuiltIndexCountsOnlyThisTablesUsedRecordPages) {
  Table.Open(FourPerPage);
  TTestTable Other(PM, TableID + 1);
  Other.Open(FourPerPage);
  for (int k = 1; k <= 9; ++k) Table.Add(k);
  Other.Add(100);
  TQXLPageItemID Gone = Table.Add(10);
  ASSERT_TRUE(M().DeleteRecord(TestSession, Gone));
  PM.ApplyChanges(TestSession);

  M().RebuildRecordPageIndex(TestSession);
  PM.ApplyChanges(TestSession);
  EXPECT_EQ(M().RecordCount(), 9);
  EXPECT_NO_THROW(M().ValidateRecordPageIndex(TestSession));
  EXPECT_EQ(Walk(true), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

  Table.Add(11);
  std::uint8_t Buf[8] = {0, 0, 0, 0, 7, 0, 0, 0};
  std::int32_t Offset = 0;
  M().LoadMostUpdated(Buf, sizeof Buf, Offset);
  EXPECT_EQ(Raised([&] { M().ValidateRecordPageIndex(TestSession); }).Message,
            "Invalid table RecordPageIndex or MostUpdated. RecordPageIndex.RecordCount=10, "
            "MostUpdated.RecordCount=7 - Native error: 20292");
}

// A record's stored bytes read without its memory form: a field of them
// through the disk-form accessor is the field the record holds; a deleted
// record has none.
TEST_F(DiskRecordManagerTest, StoredBytesOfARecordGiveItsFieldsWithoutItsMemoryForm) {
  Table.Open(FourPerPage);
  std::vector<TQXLPageItemID> IDs;
  for (std::int32_t Key = 10; Key < 19; ++Key) IDs.push_back(Table.Add(Key));
  EXPECT_FALSE(M().StoresMemoryForm());
  TQXLFieldAccessor Fields(Table.Fields.FieldDefs(), false);
  for (std::size_t i = 0; i < IDs.size(); ++i) {
    const std::uint8_t* Stored = M().ReadStoredRecord(TestSession, IDs[i]);
    ASSERT_NE(Stored, nullptr) << i;
    Fields.Bind(Stored);
    std::int32_t Key = -1;
    ASSERT_TRUE(Fields.GetField(0, &Key));
    EXPECT_EQ(Key, 10 + static_cast<std::int32_t>(i));
  }
  TQXLPageItemID Gone = IDs[4];
  ASSERT_TRUE(M().DeleteRecord(TestSession, Gone));
  EXPECT_EQ(M().ReadStoredRecord(TestSession, IDs[4]), nullptr);
}

}  // namespace
}  // namespace qxl::test
