// BLOB pages and the BLOB manager: the size rule between shared entries and
// large BLOBs, the page list of a large BLOB, item numbers on a shared page,
// posting, reading and removing values through record buffers, the stream and
// direct forms, and BLOB references or pages that a damaged file would hold.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "engine/core/containers/QXLBitBuffer.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/storage/blobs/QXLDiskBlobManager.h"
#include "engine/storage/blobs/QXLSmallBlobPage.h"
#include "engine/storage/pager/QXLPageHold.h"
#include "engine/storage/pager/QXLPageHeaderFields.h"
#include "tests/engine/storage/records/RecordTestUtil.h"
#include "tests/support/EngineErrors.h"

using namespace qxl;

namespace qxl::test {
namespace {

using TBytesV = std::vector<std::uint8_t>;
constexpr std::int32_t PicField = 1;
constexpr std::int32_t DocField = 2;

TBytesV Pattern(std::int64_t Size, std::uint8_t Seed = 1) {
  TBytesV Bytes(static_cast<std::size_t>(Size));
  for (std::size_t i = 0; i < Bytes.size(); ++i) Bytes[i] = static_cast<std::uint8_t>(Seed + i * 7 + i / 251);
  return Bytes;
}

class DiskBlobManagerTest : public ::testing::Test {
protected:
  DiskBlobManagerTest() {
    Table.AddField("Id", aftInteger);
    Table.AddField("Pic", aftBlob);
    Table.AddField("Doc", aftMemo);
    Table.Open(0, true);
    Blobs = std::make_unique<TQXLDiskBlobManager>(PM, Table.Fields, *Table.Manager);
    Blobs->CreateBlobPageIndex();
    PM.ApplyChanges(QXLSystemSessionID);
  }

  // A record whose field holds Bytes as its compressed form, posted.
  TBytesV Posted(std::int32_t Field, const TBytesV& Bytes, TBytesV Record = {}) {
    if (Record.empty()) Record = Table.Record(1);
    Set(Record, Field, Bytes);
    Blobs->WriteBlobs(TestSession, Record.data());
    return Record;
  }
  void Set(TBytesV& Record, std::int32_t Field, const TBytesV& Bytes) {
    const TQXLPartialTemporaryBLOBDescriptor Descriptor{3, static_cast<std::int64_t>(Bytes.size()) * 2,
                                                        static_cast<std::int64_t>(Bytes.size())};
    Blobs->SetDirectBlobInfoFromRecordBuffer(Record.data(), Field, Descriptor, Bytes.data());
  }
  // The stored value as read into a fresh cache, which is dropped again.
  TBytesV Stored(TBytesV Record, std::int32_t Field) {
    TQXLPartialTemporaryBLOBDescriptor Descriptor;
    const std::uint8_t* Data = nullptr;
    Blobs->GetDirectBlobInfoFromRecordBuffer(TestSession, Record.data(), Field, Descriptor, Data);
    TBytesV Bytes(Data, Data + Descriptor.CompressedSize);
    Blobs->FreeBlobCache(Record.data(), Field, false);
    return Bytes;
  }
  TQXLPageItemID ID(const TBytesV& Record, std::int32_t Field = PicField) {
    return Blobs->GetBlobPageItemID(Record.data(), Field);
  }
  template <typename T>
  T At(std::int32_t PageNo, std::int32_t Offset) {
    TQXLPageHold Page(PM, PM.GetPage(TestSession, PageNo, ptAny, false));
    T Value{};
    std::memcpy(&Value, Page->PageData() + Offset, sizeof Value);
    return Value;
  }
  template <typename T>
  void Poke(std::int32_t PageNo, std::int32_t Offset, T Value) {
    TQXLPageHold Page(PM, PM.GetPage(TestSession, PageNo, ptAny, false));
    Page->MakeWritable();
    std::memcpy(Page->PageData() + Offset, &Value, sizeof Value);
  }
  std::int32_t RemovedCount() {
    const TQXLSessionPageInfo* Info = PM.FindSession(TestSession);
    return Info ? Info->RemovedPageNumbers.ItemCount() : 0;
  }

  TRecordPageManager PM;
  TTestTable Table{PM, 7};
  std::unique_ptr<TQXLDiskBlobManager> Blobs;
};

TEST_F(DiskBlobManagerTest, LargestEntryAndSmallestLargeBlobMeetAt4031And4032Bytes) {
  const TBytesV Entry = Pattern(4031), Large = Pattern(4032, 9);
  const TBytesV A = Posted(PicField, Entry);
  EXPECT_NE(ID(A).PageItemNo, QXLLargeBlobItemNo);
  EXPECT_EQ(Blobs->BlobPageIndex().GetBlobPageAllocatedSpace(TestSession, ID(A).PageNo), 4031 + 22);
  EXPECT_EQ(Blobs->BlobCacheCount(), 0u) << "posting frees the cache";

  const TBytesV B = Posted(PicField, Large);
  const TQXLPageItemID Ref = ID(B);
  ASSERT_EQ(Ref.PageItemNo, QXLLargeBlobItemNo);
  EXPECT_EQ(Blobs->BlobPageIndex().GetBlobPageAllocatedSpace(TestSession, Ref.PageNo), -1);
  EXPECT_EQ(At<std::int64_t>(Ref.PageNo, 6), 4032) << "compressed size in the header";
  const auto ListPage = At<std::int32_t>(Ref.PageNo, 22);
  EXPECT_NE(ListPage, Ref.PageNo) << "4024 bytes on the first page, 8 on the second, which holds the list";
  EXPECT_EQ(At<std::uint16_t>(Ref.PageNo, 26), 8);
  EXPECT_EQ(At<std::int32_t>(Ref.PageNo, 28), 2);
  EXPECT_EQ(At<std::int32_t>(ListPage, 8), Ref.PageNo);
  EXPECT_EQ(At<std::int32_t>(ListPage, 12), ListPage);

  EXPECT_EQ(Stored(A, PicField), Entry);
  EXPECT_EQ(Stored(B, PicField), Large);
  TBytesV Gone = B;
  Blobs->DeleteBlobs(TestSession, Gone.data());
  EXPECT_EQ(RemovedCount(), 2) << "the list page is the last data page and goes once";
}

TEST_F(DiskBlobManagerTest, PageListsStartOnANewPageAfterAFullDataPageAndContinueThroughNextPage) {
  struct Case {
    std::int64_t Size;
    std::int32_t DataPages, ListOffset, PagesRemoved;
    bool ListOnOwnPage;
  };
  // 4024 bytes fit the first page, 4056 each further page.
  for (const Case c : {Case{4024 + 4056, 2, 0, 3, true}, Case{4024 + 4056 + 4052, 3, 4052, 4, false},
                       Case{4024 + 4056 * 3, 4, 0, 5, true}}) {
    const TBytesV Value = Pattern(c.Size, static_cast<std::uint8_t>(c.DataPages));
    const TBytesV R = Posted(DocField, Value);
    const TQXLPageItemID Ref = ID(R, DocField);
    const auto ListPage = At<std::int32_t>(Ref.PageNo, 22);
    EXPECT_EQ(At<std::uint16_t>(Ref.PageNo, 26), c.ListOffset) << c.Size;
    EXPECT_EQ(At<std::int32_t>(Ref.PageNo, 28), c.DataPages) << c.Size;
    EXPECT_EQ(At<std::int32_t>(ListPage, c.ListOffset), Ref.PageNo) << "the first page is listed first";
    if (!c.ListOnOwnPage) {
      // One number fits after the data; the other two continue on the linked page.
      TQXLPageHold Page(PM, PM.GetPage(TestSession, ListPage, ptTableBlob, false));
      EXPECT_GT(PageNextPageNo(*Page), 0);
    }
    EXPECT_EQ(Stored(R, DocField), Value) << c.Size;
    const std::int32_t Before = RemovedCount();
    TBytesV Gone = R;
    Blobs->DeleteBlob(TestSession, Gone.data(), DocField);
    EXPECT_EQ(RemovedCount() - Before, c.PagesRemoved) << c.Size;
  }
}

TEST_F(DiskBlobManagerTest, ItemNumbersStartAtTheEntryCountAndDeletesKeepTheOthers) {
  std::vector<TBytesV> Records;
  for (std::uint8_t k = 0; k < 3; ++k) Records.push_back(Posted(PicField, Pattern(100 + k, k)));
  const std::int32_t PageNo = ID(Records[0]).PageNo;
  for (std::uint16_t k = 0; k < 3; ++k) {
    EXPECT_EQ(ID(Records[k]).PageNo, PageNo);
    EXPECT_EQ(ID(Records[k]).PageItemNo, k);
  }
  Blobs->DeleteBlob(TestSession, Records[1].data(), PicField);
  EXPECT_EQ(At<std::uint16_t>(PageNo, 0), 2);
  EXPECT_EQ(At<std::uint16_t>(PageNo, 2 + 22 + 100), 2) << "the third entry moved down onto the second";
  EXPECT_EQ(Stored(Records[2], PicField), Pattern(102, 2));
  EXPECT_EQ(Blobs->BlobPageIndex().GetBlobPageAllocatedSpace(TestSession, PageNo), 122 + 124);
  EXPECT_EQ(ID(Posted(PicField, Pattern(5))).PageItemNo, 3) << "entries 0 and 2: the search starts at 2";

  // Entries renumbered 5 and 7 (and a third 2) on a page of their own.
  struct Case {
    std::vector<std::uint16_t> Items;
    std::uint16_t Expected;
  };
  for (const Case& c : {Case{{5, 7}, 2}, Case{{2, 3, 0}, 4}, Case{{3, 4, 5}, 6}, Case{{0xFFFE, 9}, 2}}) {
    TQXLPageHold Page(PM, PM.AddPage(TestSession, ptTableBlob));
    TQXLSmallBlobPage View(&*Page);
    View.SetBlobCount(0);
    TQXLDiskBLOBCache Cache;
    Cache.BlobData = Pattern(10);
    std::int32_t Offset = 2;
    for (std::uint16_t Item : c.Items) {
      TQXLPageItemID Ignored;
      View.AddBlob(Cache, Ignored);
      std::memcpy(Page->PageData() + Offset, &Item, 2);
      Offset += 32;
    }
    EXPECT_EQ(View.GetNewItemNo(), c.Expected) << c.Items.size();
  }
}

TEST_F(DiskBlobManagerTest, PostingStoresOnlyChangedValuesAndAnEmptyValueRemovesTheStoredOne) {
  TBytesV R = Posted(PicField, Pattern(300));
  const TQXLPageItemID Ref = ID(R);
  // Read only: the cache is not modified, posting stores nothing.
  Blobs->ReadBlob(TestSession, R.data(), PicField);
  ASSERT_NE(Blobs->FindBlobCache(R.data(), PicField), nullptr);
  Blobs->WriteBlobs(TestSession, R.data());
  EXPECT_EQ(ID(R), Ref);
  EXPECT_EQ(Blobs->BlobPageIndex().GetBlobPageAllocatedSpace(TestSession, Ref.PageNo), 322);
  EXPECT_EQ(Blobs->BlobCacheCount(), 1u) << "an unmodified cache stays until dropped";
  EXPECT_EQ(NativeCodeOf([&] { Blobs->CheckBlobCachesReleased(); }), 20150);
  Blobs->ClearBlobInRecordBuffer(R.data(), PicField, false);
  EXPECT_NO_THROW(Blobs->CheckBlobCachesReleased());

  // A modified cache survives a plain clear, not a forced one.
  Set(R, PicField, Pattern(10));
  Blobs->ClearBlobInRecordBuffer(R.data(), PicField, false);
  EXPECT_NE(Blobs->FindBlobCache(R.data(), PicField), nullptr);

  Set(R, PicField, {});
  EXPECT_TRUE(GetBitInBuffer(PicField, R.data())) << "an empty value is NULL";
  Blobs->WriteBlobs(TestSession, R.data());
  EXPECT_EQ(ID(R), (TQXLPageItemID{-1, QXLLargeBlobItemNo}));
  EXPECT_EQ(Blobs->BlobPageIndex().GetBlobPageAllocatedSpace(TestSession, Ref.PageNo), -1);
  EXPECT_EQ(RemovedCount(), 1);
  EXPECT_EQ(Blobs->BlobCacheCount(), 0u);

  // A handle that names no live cache reads as none.
  std::memset(R.data() + Table.Fields.FieldDefs().GetDef(PicField)->MemoryOffset + 6, 0x5A, 4);
  EXPECT_EQ(Blobs->FindBlobCache(R.data(), PicField), nullptr);
}

TEST_F(DiskBlobManagerTest, StreamFormRoundTripsThroughPages) {
  TBytesV Text(20000);
  std::iota(Text.begin(), Text.end(), 0);
  TQXLMemoryStream Compressed;
  TQXLBLOBDescriptor Descriptor;
  Descriptor.CompressionAlgorithm = acaZLIB;
  Descriptor.CompressionMode = 6;
  Descriptor.BlockSize = 4096;
  {
    TQXLCompressedBLOBStream Blob(Compressed, Descriptor, true, false);
    ASSERT_EQ(Blob.Write(Text.data(), static_cast<std::int32_t>(Text.size())), 20000);
    TBytesV R = Table.Record(1);
    SetBitInBuffer(true, PicField, R.data());
    Blobs->CopyBlobFromStreamToRecordBuffer(R.data(), PicField, Blob, false);
    EXPECT_EQ(Blobs->FindBlobCache(R.data(), PicField), nullptr) << "an unmodified stream is not taken";
    Blobs->CopyBlobFromStreamToRecordBuffer(R.data(), PicField, Blob, true);
    EXPECT_FALSE(GetBitInBuffer(PicField, R.data()));
    Blobs->WriteBlobs(TestSession, R.data());

    TQXLMemoryStream Out;
    TQXLBLOBDescriptor Read = Descriptor;
    Blobs->CopyBlobFromRecordBufferToStream(TestSession, R.data(), PicField, Read, Out);
    EXPECT_EQ(Read.NumBlocks, 5);
    EXPECT_EQ(Read.UncompressedSize, 20000);
    EXPECT_EQ(Out.Size(), Compressed.Size());
    Blobs->FreeBlobCache(R.data(), PicField, true);
    Out.SetPosition(0);
    TQXLCompressedBLOBStream Back(Out, Read, false, false);
    TBytesV Got(20000);
    ASSERT_EQ(Back.Read(Got.data(), 20000), 20000);
    EXPECT_EQ(Got, Text);

    // A NULL field gives an empty descriptor and writes nothing.
    SetBitInBuffer(true, PicField, R.data());
    TQXLMemoryStream Nothing;
    Blobs->CopyBlobFromRecordBufferToStream(TestSession, R.data(), PicField, Read, Nothing);
    EXPECT_EQ(Read.UncompressedSize, 0);
    EXPECT_EQ(Nothing.Size(), 0);
  }
}

TEST_F(DiskBlobManagerTest, ItemNumber255IsReadAsWhicheverFormThePageFits) {
  TBytesV Small = Posted(PicField, Pattern(200));
  TBytesV Large = Posted(DocField, Pattern(9000, 3), Table.Record(2));
  // Renumber the entry to 255 and refer to both values with 255.
  Poke<std::uint16_t>(ID(Small).PageNo, 2, 255);
  TQXLPageItemID SmallRef{ID(Small).PageNo, 255}, LargeRef{ID(Large, DocField).PageNo, 255};
  std::memcpy(Small.data() + Table.Fields.FieldDefs().GetDef(PicField)->MemoryOffset, &SmallRef, 6);
  std::memcpy(Large.data() + Table.Fields.FieldDefs().GetDef(DocField)->MemoryOffset, &LargeRef, 6);
  EXPECT_EQ(Stored(Small, PicField), Pattern(200));
  EXPECT_EQ(Stored(Large, DocField), Pattern(9000, 3));
  Blobs->DeleteBlobs(TestSession, Large.data());
  EXPECT_EQ(RemovedCount(), 3);
}

// References and pages a damaged file may hold: a clear error, no read past
// a page, and no page given back on the failing path.
TEST_F(DiskBlobManagerTest, DamagedReferencesEntriesAndPageListsAreRefused) {
  TBytesV Small = Posted(PicField, Pattern(100));
  TBytesV Large = Posted(DocField, Pattern(5000), Table.Record(2));
  const std::int32_t SmallPage = ID(Small).PageNo, LargePage = ID(Large, DocField).PageNo;
  PM.ApplyChanges(TestSession);
  const auto Reference = [&](TBytesV R, std::int32_t Field, TQXLPageItemID Ref) {
    std::memcpy(R.data() + Table.Fields.FieldDefs().GetDef(Field)->MemoryOffset, &Ref, 6);
    return R;
  };
  const auto ReadCode = [&](TBytesV R, std::int32_t Field) {
    return NativeCodeOf([&] { Stored(R, Field); });
  };
  const auto DeleteCode = [&](TBytesV R) { return NativeCodeOf([&] { Blobs->DeleteBlobs(TestSession, R.data()); }); };

  // References outside the file or to a page of another type.
  EXPECT_EQ(ReadCode(Reference(Small, PicField, {999, 0}), PicField), 20163);
  EXPECT_EQ(ReadCode(Reference(Small, PicField, {-7, 0}), PicField), 20163);
  EXPECT_EQ(ReadCode(Reference(Small, PicField, {999, 0xFFFF}), PicField), 20163);
  EXPECT_EQ(ReadCode(Reference(Small, PicField, {Blobs->BlobPageIndex().RootPageNo(), 0}), PicField),
            20153);
  EXPECT_EQ(Blobs->BlobCacheCount(), 0u) << "a failed read leaves no cache behind";

  // Large BLOB: its list names a page outside the file; its size does not fit its page count.
  Poke<std::int32_t>(At<std::int32_t>(LargePage, 22), At<std::uint16_t>(LargePage, 26) + 4, 123456);
  EXPECT_EQ(ReadCode(Large, DocField), 20163);
  EXPECT_EQ(DeleteCode(Large), 20163);
  Poke<std::int64_t>(LargePage, 6, std::int64_t{1} << 40);
  EXPECT_EQ(ReadCode(Large, DocField), 20163);
  Poke<std::int32_t>(LargePage, 22, -1);
  Poke<std::int64_t>(LargePage, 6, 5000);
  EXPECT_EQ(ReadCode(Large, DocField), 20163);

  // Shared page: an entry size past the page, and a count of more entries than fit.
  EXPECT_EQ(ReadCode(Reference(Small, PicField, {SmallPage, 77}), PicField), 0) << "no such entry reads as empty";
  Poke<std::uint16_t>(SmallPage, 0, 60000);
  EXPECT_EQ(ReadCode(Reference(Small, PicField, {SmallPage, 77}), PicField), 20163);
  Poke<std::uint16_t>(SmallPage, 0, 1);
  Poke<std::int64_t>(SmallPage, 2 + 6, 5000);
  EXPECT_EQ(ReadCode(Small, PicField), 20163);
  EXPECT_EQ(DeleteCode(Small), 20163);
  EXPECT_EQ(RemovedCount(), 0);
  TBytesV Missing = Reference(Small, PicField, {SmallPage, 77});
  EXPECT_EQ(NativeCodeOf([&] { Blobs->DeleteBlob(TestSession, Missing.data(), PicField); }), 20163);
}

TEST_F(DiskBlobManagerTest, AFullPageTheIndexStillOffersIsRefusedBeforeAnythingChanges) {
  TBytesV R = Posted(PicField, Pattern(3000));
  const std::int32_t PageNo = ID(R).PageNo;
  // The index undercounts the page by 2000 bytes.
  Blobs->BlobPageIndex().DeleteBlob(TestSession, 2000, PageNo);
  TBytesV Next = Table.Record(2);
  Set(Next, PicField, Pattern(1500));
  EXPECT_EQ(Raised([&] { Blobs->WriteBlobs(TestSession, Next.data()); }).Message,
            "Cannot add blob. Page is full: BlobCount=1, BlobOffset=3024, BlobSize=1522, PageDataSize=4056, "
            "SizeInBlobPageIndex=1022 - Native error: 20290");
  EXPECT_EQ(At<std::uint16_t>(PageNo, 0), 1);
  EXPECT_EQ(Blobs->BlobPageIndex().GetBlobPageAllocatedSpace(TestSession, PageNo), 1022);
  EXPECT_NE(Blobs->FindBlobCache(Next.data(), PicField), nullptr) << "the unsaved value is kept for another try";
  Blobs->FreeBlobCache(Next.data(), PicField, true);

  // Replacing the stored value fails the same way: the old value stays stored.
  const TBytesV Old = R;
  Set(R, PicField, Pattern(1500));
  EXPECT_EQ(NativeCodeOf([&] { Blobs->WriteBlobs(TestSession, R.data()); }), 20290);
  Blobs->FreeBlobCache(R.data(), PicField, true);
  EXPECT_EQ(ID(R), ID(Old));
  EXPECT_EQ(Stored(R, PicField), Pattern(3000));
  EXPECT_EQ(RemovedCount(), 0);
}

TEST_F(DiskBlobManagerTest, EmptyRemovesEveryStoredValueOfTheTable) {
  for (std::int32_t k = 1; k <= 3; ++k) {
    TBytesV R = Table.Record(k);
    Set(R, PicField, Pattern(50 * k));
    Set(R, DocField, Pattern(4100 * k));
    Blobs->WriteBlobs(TestSession, R.data());
    TQXLPageItemID RecordID;
    ASSERT_TRUE(Table.Manager->AddRecord(TestSession, R.data(), RecordID));
  }
  Blobs->Empty(TestSession);
  // One shared page and 2 + 3 + 4 large BLOB pages.
  EXPECT_EQ(RemovedCount(), 10);
  std::int32_t PageNo = -1;
  EXPECT_FALSE(Blobs->BlobPageIndex().FindPageForNewBlob(TestSession, 10, PageNo));
  Table.Manager->Empty(TestSession);
}

}  // namespace
}  // namespace qxl::test
