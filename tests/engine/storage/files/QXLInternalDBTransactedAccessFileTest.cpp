// Transacted internal files: page boundaries of the content, growth and reuse
// of the chain, compression on and off, and damaged chains and headers.
#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"

#include "tests/engine/storage/files/InternalFileTestSupport.h"

using namespace qxl;

namespace {

class TransactedFileTest : public InternalFileTest {
protected:
  // Writes Bytes into a new file of the system session and commits; the start page.
  std::int32_t Written(const std::vector<std::uint8_t>& Bytes, TQXLCompressionAlgorithm Algorithm = acaNone) {
    auto M = Open();
    TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
    F.CreateFile(System);
    F.WriteFile(System, Bytes.data(), static_cast<std::int32_t>(Bytes.size()), Algorithm, 1);
    M->ApplyChanges(System);
    return F.StartPageNo();
  }
  // The whole content, read by a handle of its own.
  std::vector<std::uint8_t> ReadBack(std::int32_t StartPageNo) {
    auto M = Open();
    TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
    F.OpenFile(StartPageNo);
    std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(F.GetSize(System)));
    F.ReadFile(System, Bytes.data(), static_cast<std::int32_t>(Bytes.size()), true);
    return Bytes;
  }
  std::int32_t ReadError(std::int32_t StartPageNo, std::int32_t Count) {
    auto M = Open();
    TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
    F.OpenFile(StartPageNo);
    std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(Count) + 1);
    return NativeCodeOf([&] { F.ReadFile(System, Bytes.data(), Count, true); });
  }
};

TEST_F(TransactedFileTest, NewFileIsOneEmptyPage) {
  auto M = Open();
  TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
  F.CreateFile(System);
  M->ApplyChanges(System);
  EXPECT_EQ(F.GetSize(System), 0);
  EXPECT_EQ(NativeCodeOf([&] { F.ReadFile(System, nullptr, 0, true); }), 0);
  EXPECT_EQ(StoredChain(F.StartPageNo()).size(), 1u);
  std::uint8_t Header[10];
  M->ReadPageRegion(Header, F.StartPageNo(), 40, 10);
  EXPECT_EQ(std::vector<std::uint8_t>(Header, Header + 10), std::vector<std::uint8_t>({10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(TransactedFileTest, ContentCrossesPageBoundariesWithAndWithoutCompression) {
  struct Case {
    std::int32_t Size;
    std::size_t Pages;
  };
  const Case Cases[] = {{1, 1}, {D - 10, 1}, {D - 9, 2}, {2 * D - 10, 2}, {2 * D - 9, 3}, {5 * D, 6}};
  for (const Case& C : Cases) {
    const auto Bytes = Content(C.Size);
    const std::int32_t Start = Written(Bytes);
    EXPECT_EQ(StoredChain(Start).size(), C.Pages) << C.Size;
    EXPECT_EQ(ReadBack(Start), Bytes) << C.Size;
    for (TQXLCompressionAlgorithm Algorithm : {acaZLIB, acaBZIP, acaPPM})
      EXPECT_EQ(ReadBack(Written(Bytes, Algorithm)), Bytes) << C.Size << " algorithm " << int(Algorithm);
  }
  // Empty content comes without a buffer.
  const std::int32_t Empty = Written({});
  EXPECT_EQ(StoredChain(Empty).size(), 1u);
  EXPECT_TRUE(ReadBack(Empty).empty());
}

TEST_F(TransactedFileTest, HeaderRecordsStoredAndUncompressedSizes) {
  const auto Bytes = std::vector<std::uint8_t>(3000, 'a');
  const std::int32_t Start = Written(Bytes, acaZLIB);
  auto M = Open();
  TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
  F.OpenFile(Start);
  std::int32_t Stored, Uncompressed;
  TQXLCompressionAlgorithm Algorithm;
  bool Changed;
  F.GetFileSize(System, Stored, Uncompressed, Algorithm, Changed, true);
  EXPECT_EQ(Uncompressed, 3000);
  EXPECT_EQ(Algorithm, acaZLIB);
  EXPECT_GT(Stored, 0);
  EXPECT_LT(Stored, 200);
  EXPECT_EQ(StoredChain(Start).size(), 1u);
}

TEST_F(TransactedFileTest, ChainGrowsAndKeepsItsPagesForReuse) {
  auto M = Open();
  TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
  F.CreateFile(System);
  const auto Long = Content(3 * D), Short = Content(20, 9), Longer = Content(3 * D + 5, 4);
  F.WriteFile(System, Long.data(), 3 * D, acaNone, 0);
  M->ApplyChanges(System);
  const auto Chain = StoredChain(F.StartPageNo());
  ASSERT_EQ(Chain.size(), 4u);

  F.WriteFile(System, Short.data(), 20, acaNone, 0);
  M->ApplyChanges(System);
  EXPECT_EQ(StoredChain(F.StartPageNo()), Chain);
  EXPECT_EQ(ReadBack(F.StartPageNo()), Short);

  F.WriteFile(System, Longer.data(), 3 * D + 5, acaNone, 0);
  M->ApplyChanges(System);
  EXPECT_EQ(StoredChain(F.StartPageNo()), Chain);
  EXPECT_EQ(ReadBack(F.StartPageNo()), Longer);

  F.DeleteFile(System);
  M->ApplyChanges(System);
  EXPECT_FALSE(F.IsOpen());
  // Every page of the chain, the ones the short content did not use too, is
  // released.
  for (std::int32_t No : Chain) {
    std::int32_t State = 0;
    M->ReadPageRegion(&State, No, 4, 4);
    EXPECT_EQ(State, QXLRemovedPageState) << No;
  }
}

TEST_F(TransactedFileTest, ChangesStayWithTheSessionUntilCommit) {
  const std::int32_t Start = Written(Content(50));
  auto M = Open();
  TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
  F.OpenFile(Start);
  const auto Changed = Content(400, 3);
  F.WriteFile(System, Changed.data(), 400, acaNone, 0);
  EXPECT_EQ(ReadBack(Start), Content(50));
  M->CancelChanges(System);
  EXPECT_EQ(F.GetSize(System), 50);
}

TEST_F(TransactedFileTest, InitFileHeaderEmptiesTheStartPage) {
  const std::int32_t Start = Written(Content(3 * D));
  auto M = Open();
  TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
  F.OpenFile(Start);
  F.InitFileHeader(System);
  F.WriteFile(System, "abc", 3, acaNone, 0);
  M->ApplyChanges(System);
  EXPECT_EQ(StoredChain(Start).size(), 1u);
  EXPECT_EQ(ReadBack(Start), std::vector<std::uint8_t>({'a', 'b', 'c'}));
}

TEST_F(TransactedFileTest, ClosedAndExistingFileErrors) {
  auto M = Open();
  TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
  std::int32_t S, U;
  TQXLCompressionAlgorithm A;
  bool C;
  char Byte = 0;
  EXPECT_EQ(MessageOf([&] { F.SetFileSize(System, 1, 1, acaNone); }),
            "Cannot perform this operation (SetSize) on closed internal file - Native error: 30389");
  EXPECT_EQ(NativeCodeOf([&] { F.GetFileSize(System, S, U, A, C, true); }), 30389);
  EXPECT_EQ(NativeCodeOf([&] { F.ReadFile(System, &Byte, 0, true); }), 30389);
  EXPECT_EQ(NativeCodeOf([&] { F.WriteFile(System, &Byte, 1, acaNone, 0); }), 30389);
  EXPECT_EQ(NativeCodeOf([&] { F.LockFile(); }), 30389);
  EXPECT_EQ(NativeCodeOf([&] { F.InitFileHeader(System); }), 20301);
  F.CreateFile(System);
  EXPECT_EQ(NativeCodeOf([&] { F.CreateFile(System); }), 30383);
  // Compression refuses an empty content.
  EXPECT_EQ(NativeCodeOf([&] { F.WriteFile(System, &Byte, 0, acaZLIB, 1); }), 20187);
  EXPECT_EQ(NativeCodeOf([&] { F.ReadFile(System, &Byte, 1, true); }), 30387);
  M->CancelChanges(System);
}

TEST_F(TransactedFileTest, DamagedChainsAreRefused) {
  // A loop back to the start, a link beyond the file, a link to a page of
  // another type and a chain cut short.
  const std::int32_t Looped = Written(Content(2 * D));
  PatchNext(StoredChain(Looped)[2], Looped);
  const std::int32_t Beyond = Written(Content(2 * D));
  PatchNext(StoredChain(Beyond)[1], 100000);
  const std::int32_t Foreign = Written(Content(2 * D));
  PatchType(StoredChain(Foreign)[1], ptTableRecord);
  const std::int32_t Cut = Written(Content(2 * D));
  PatchNext(StoredChain(Cut)[1], -1);

  EXPECT_EQ(ReadError(Beyond, 2 * D), 20300);
  EXPECT_EQ(ReadError(Foreign, 2 * D), 20153);
  EXPECT_EQ(ReadError(Cut, 2 * D), 30388);
  // The loop only shows once more bytes are claimed than the chain holds.
  std::int32_t Claimed = 5 * D;
  Patch(Looped, 41, &Claimed, 4);
  Patch(Looped, 45, &Claimed, 4);
  EXPECT_EQ(ReadError(Looped, 5 * D), 20300);

  for (std::int32_t Start : {Looped, Beyond, Foreign}) {
    auto M = Open();
    TQXLInternalDBTransactedAccessFile F(*M, ptTableMetaData);
    F.OpenFile(Start);
    EXPECT_NE(NativeCodeOf([&] { F.DeleteFile(System); }), 0) << Start;
    const std::vector<std::uint8_t> More = Content(6 * D);
    EXPECT_NE(NativeCodeOf([&] { F.WriteFile(System, More.data(), 6 * D, acaNone, 0); }), 0) << Start;
    M->CancelChanges(System);
  }
}

TEST_F(TransactedFileTest, DamagedHeadersAndContentAreRefused) {
  const std::int32_t Negative = Written(Content(300), acaZLIB);
  std::int32_t Minus = -5;
  Patch(Negative, 41, &Minus, 4);
  EXPECT_EQ(ReadError(Negative, 300), 20302);

  const std::int32_t Garbage = Written(Content(300), acaZLIB);
  const auto Noise = Content(20, 77);
  Patch(Garbage, 50, Noise.data(), 20);
  EXPECT_EQ(ReadError(Garbage, 300), 20189);

  const std::int32_t Huge = Written(Content(300));
  std::int32_t Big = 0x7FFFFFF0;
  Patch(Huge, 45, &Big, 4);
  EXPECT_EQ(ReadError(Huge, 2 * D), 30388);
}

TEST_F(TransactedFileTest, DecompressedContentShorterThanItsHeaderClaimsIsRefused) {
  const std::int32_t Start = Written(std::vector<std::uint8_t>(100, 'x'), acaZLIB);
  std::int32_t Claimed = 1000;
  Patch(Start, 45, &Claimed, 4);
  EXPECT_EQ(ReadError(Start, 1000), 30387);
}

}  // namespace
