// Direct internal files: byte positions across pages, the size rules of an
// open file, byte and region locks seen from another handle, damaged chains.
#include "engine/storage/files/QXLInternalDBDirectAccessFile.h"

#include "tests/engine/storage/files/InternalFileTestSupport.h"

using namespace qxl;

namespace {

class DirectFileTest : public InternalFileTest {
protected:
  std::int32_t Created(std::int32_t Size) {
    auto M = Open();
    TQXLInternalDBDirectAccessFile F(*M, ptTableLocks);
    F.CreateFile(Size);
    M->ApplyChanges(System);
    return F.StartPageNo();
  }
  std::int32_t OpenError(std::int32_t Start) {
    auto M = Open();
    TQXLInternalDBDirectAccessFile F(*M, ptTableLocks);
    return NativeCodeOf([&] { F.OpenFile(Start); });
  }
};

TEST_F(DirectFileTest, BytesCrossPagesAndReachOtherHandlesAtOnce) {
  const std::int32_t Size = 3 * D;
  const std::int32_t Start = Created(Size);
  EXPECT_EQ(StoredChain(Start).size(), 4u);
  auto Writer = Open(), Reader = Open();
  TQXLInternalDBDirectAccessFile W(*Writer, ptTableLocks), R(*Reader, ptTableLocks);
  W.OpenFile(Start);
  R.OpenFile(Start);
  EXPECT_EQ(W.GetSize(), Size);
  EXPECT_EQ(W.FilePages().ItemCount(), 4);
  const auto Bytes = Content(Size);
  W.WriteBuffer(Bytes.data(), Size, 0);
  std::vector<std::uint8_t> Seen(Size);
  R.ReadBuffer(Seen.data(), Size, 0);
  EXPECT_EQ(Seen, Bytes);

  // Content byte D - 10 is the first data byte of the second page.
  const std::uint8_t Mark = 0xA5;
  W.WriteBuffer(&Mark, 1, D - 10);
  std::uint8_t Raw = 0;
  Reader->ReadPageRegion(&Raw, StoredChain(Start)[1], 40, 1);
  EXPECT_EQ(Raw, Mark);
  // Six bytes across a page boundary.
  const std::uint8_t Six[6] = {1, 2, 3, 4, 5, 6};
  W.WriteBuffer(Six, 6, 2 * D - 13);
  std::uint8_t Back[6] = {};
  R.ReadBuffer(Back, 6, 2 * D - 13);
  EXPECT_EQ(std::vector<std::uint8_t>(Back, Back + 6), std::vector<std::uint8_t>(Six, Six + 6));
}

TEST_F(DirectFileTest, OnePageFileAcceptsPositionsUpToThePageButWritesOnlyItsSize) {
  const std::int32_t Start = Created(100);
  auto M = Open();
  TQXLInternalDBDirectAccessFile F(*M, ptTableLocks);
  F.OpenFile(Start);
  EXPECT_EQ(F.GetSize(), 100);
  EXPECT_EQ(F.FileSize(), D - 10);
  EXPECT_TRUE(F.LockByte(150));
  EXPECT_TRUE(F.UnlockByte(150));
  const std::uint8_t Byte = 1;
  EXPECT_EQ(NativeCodeOf([&] { F.WriteBuffer(&Byte, 1, 100); }), 20158);
  EXPECT_EQ(NativeCodeOf([&] { F.WriteBuffer(&Byte, 1, 99); }), 0);
  // Positions at and past the size name no byte.
  EXPECT_EQ(NativeCodeOf([&] { F.LockByte(D - 10); }), 20159);
  EXPECT_EQ(NativeCodeOf([&] { F.IsByteLocked(-1); }), 20159);
  EXPECT_EQ(MessageOf([&] { F.LockByte(D); }),
            "Seek position bigger then file size. FileSize=206. Position=216 - Native error: 20159");
}

TEST_F(DirectFileTest, LocksAreSeenFromAnotherHandleAcrossPages) {
  const std::int32_t Start = Created(3 * D);
  auto A = Open(), B = Open();
  TQXLInternalDBDirectAccessFile FA(*A, ptTableLocks), FB(*B, ptTableLocks);
  FA.OpenFile(Start);
  FB.OpenFile(Start);
  const std::int32_t Last = 2 * D - 11;  // the last byte of the second page
  ASSERT_TRUE(FA.LockByte(Last));
  EXPECT_TRUE(FB.IsByteLocked(Last));
  EXPECT_FALSE(FB.LockByte(Last));
  EXPECT_TRUE(FB.IsRegionLocked(D - 20, D + 10));
  EXPECT_FALSE(FB.IsRegionLocked(D - 20, D + 9));
  EXPECT_TRUE(FB.IsRegionLocked(5, Last - 4));
  EXPECT_FALSE(FB.IsRegionLocked(5, Last - 5));
  EXPECT_FALSE(FB.IsRegionLocked(Last + 1, D));
  EXPECT_FALSE(FB.IsRegionLocked(Last, 0));
  // The holder's own probe counts its lock too.
  EXPECT_TRUE(FA.IsRegionLocked(0, 3 * D));
  ASSERT_TRUE(FA.UnlockByte(Last));
  EXPECT_FALSE(FB.IsRegionLocked(0, 3 * D));

  ASSERT_TRUE(FA.LockFile());
  EXPECT_FALSE(FB.LockFile());
  // The file lock does not keep another handle from opening the file.
  TQXLInternalDBDirectAccessFile FC(*B, ptTableLocks);
  FC.OpenFile(Start);
  EXPECT_EQ(FC.FilePages().ItemCount(), 4);
  EXPECT_TRUE(FA.UnlockFile());
  EXPECT_TRUE(FB.LockFile());
  EXPECT_TRUE(FB.UnlockFile());
}

TEST_F(DirectFileTest, ClosedAndExistingFileErrors) {
  auto M = Open();
  TQXLInternalDBDirectAccessFile F(*M, ptTableLocks);
  std::uint8_t Byte = 0;
  EXPECT_EQ(MessageOf([&] { F.ReadBuffer(&Byte, 1, 0); }),
            "Cannot perform this operation (DirectReadBuffer) on closed internal file - Native error: 20156");
  EXPECT_EQ(NativeCodeOf([&] { F.GetSize(); }), 20156);
  EXPECT_EQ(NativeCodeOf([&] { F.IsRegionLocked(0, 1); }), 20156);
  EXPECT_EQ(NativeCodeOf([&] { F.CreateFile(-1); }), 20304);
  F.CreateFile(10);
  EXPECT_EQ(NativeCodeOf([&] { F.CreateFile(10); }), 20157);
  M->CancelChanges(System);
}

TEST_F(DirectFileTest, DamagedChainsAreRefused) {
  const std::int32_t Foreign = Created(3 * D);
  PatchType(StoredChain(Foreign)[2], ptTableRecord);
  EXPECT_EQ(OpenError(Foreign), 20155);

  const std::int32_t Looped = Created(3 * D);
  PatchNext(StoredChain(Looped)[1], Looped);
  EXPECT_EQ(OpenError(Looped), 20300);

  const std::int32_t Beyond = Created(3 * D);
  PatchNext(StoredChain(Beyond)[1], 1 << 30);
  EXPECT_EQ(OpenError(Beyond), 20300);

  const std::int32_t Negative = Created(3 * D);
  const std::int32_t Minus = -1;
  Patch(Negative, 41, &Minus, 4);
  EXPECT_EQ(OpenError(Negative), 20302);

  // A size far beyond the chain: the walk ends with the chain.
  const std::int32_t Huge = Created(3 * D);
  const std::int32_t Big = 0x7FFFFFF0;
  Patch(Huge, 41, &Big, 4);
  EXPECT_EQ(OpenError(Huge), 20300);
}

// The stored size says how many pages the chain must have; one the chain's
// pages cannot hold is refused at the open, in 64-bit arithmetic, instead of
// sizing whatever is laid out over the file (its lock bytes) by it.
TEST_F(DirectFileTest, StoredSizesTheChainCannotHoldAreRefused) {
  const struct {
    const char* What;
    std::int32_t Created, Stored, Code;
  } Cases[] = {
      {"the top of the 32-bit range", 3 * D, INT32_MAX, 20300},
      {"minus one", 3 * D, -1, 20302},
      {"its pages times the page's data size, plus one", 3 * D, 4 * D + 1, 20300},
      {"one byte more than its pages hold", 3 * D, 4 * D - 10 + 1, 20300},
      {"exactly what its pages hold", 3 * D, 4 * D - 10, 0},
      {"one page, one byte more than it holds", 100, D - 10 + 1, 20300},
      {"one page, at the top of the 32-bit range", 100, INT32_MAX, 20300},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::int32_t Start = Created(C.Created);
    Patch(Start, 41, &C.Stored, 4);
    EXPECT_EQ(OpenError(Start), C.Code);
  }
}

TEST_F(DirectFileTest, DeleteReleasesEveryPage) {
  const std::int32_t Start = Created(3 * D);
  const auto Chain = StoredChain(Start);
  auto M = Open();
  TQXLInternalDBDirectAccessFile F(*M, ptTableLocks);
  F.OpenFile(Start);
  F.DeleteFile();
  M->ApplyChanges(System);
  EXPECT_EQ(NativeCodeOf([&] { F.GetSize(); }), 20156);
  for (std::int32_t No : Chain) {
    std::int32_t State = 0;
    M->ReadPageRegion(&State, No, 4, 4);
    EXPECT_EQ(State, QXLRemovedPageState) << No;
  }
}

TEST_F(DirectFileTest, PagesStayPlainInAnEncryptedDatabase) {
  const std::string Secret = Dir.File("secret.qxl");
  {
    TQXLDiskPageManager M;
    M.CreateAndOpenDatabase(Secret, TQXLPassword{"pw", craRijndael_128}, PageSize, 8);
  }
  TQXLDiskPageManager M;
  bool ReadOnly = false, RepairNeeded = false, MultiUser = true;
  M.OpenDatabase(Secret, TQXLPassword{"pw", craRijndael_128}, ReadOnly, RepairNeeded, false, MultiUser);
  TQXLInternalDBDirectAccessFile F(M, ptTableLocks);
  F.CreateFile(2 * D);
  M.ApplyChanges(System);
  TQXLInternalDBDirectAccessFile G(M, ptTableLocks);
  G.OpenFile(F.StartPageNo());
  EXPECT_EQ(G.GetSize(), 2 * D);
  const char Text[] = "plain";
  G.WriteBuffer(Text, 5, D - 12);
  char Back[6] = {};
  G.ReadBuffer(Back, 5, D - 12);
  EXPECT_STREQ(Back, "plain");
  G.DeleteFile();
  M.ApplyChanges(System);
}

}  // namespace
