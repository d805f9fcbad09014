#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "engine/storage/pager/QXLDatabaseFile.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "platform/Clock.h"
#include "tests/engine/storage/StorageTestUtil.h"

using namespace qxl;

namespace {

class DatabaseFileTest : public ::testing::Test {
protected:
  // Two handles on one new file, both sharing it for reading and writing.
  void OpenTwoHandles(TQXLDatabaseFile& A, TQXLDatabaseFile& B) {
    A.CreateAndOpenFile(Name);
    A.CloseFile();
    A.OpenFile(Name, amReadWrite, smShareDenyNone);
    B.OpenFile(Name, amReadWrite, smShareDenyNone);
  }

  TScratchDir Dir;
  std::string Name = Dir.File("db.qxl");
};

TEST_F(DatabaseFileTest, ReadsAndWritesAtPositions) {
  TQXLDatabaseFile F;
  F.CreateAndOpenFile(Name);
  const char Text[] = "0123456789";
  F.WriteBuffer(Text, 10, 100, 10469);
  EXPECT_EQ(F.GetSize(), 110);
  EXPECT_EQ(F.GetPosition(), 110);
  char Back[10] = {};
  F.ReadBuffer(Back, 10, 100, 10464);
  EXPECT_EQ(std::memcmp(Back, Text, 10), 0);

  // A read at the end succeeds and leaves the buffer as it was.
  std::vector<std::uint8_t> Page(4096, 0xAB);
  EXPECT_TRUE(F.ReadBuffer(Page.data(), 4096, 110));
  EXPECT_EQ(Page[0], 0xAB);
  F.SetSize(50);
  EXPECT_EQ(F.GetSize(), 50);
  F.FlushFileBuffers();
  F.CloseFile();
  EXPECT_FALSE(F.IsOpened());
}

TEST_F(DatabaseFileTest, StateAndNameErrors) {
  TQXLDatabaseFile F;
  char Byte;
  EXPECT_EQ(NativeCodeOf([&] { F.ReadBuffer(&Byte, 1, 0, 10464); }), 30376);
  EXPECT_EQ(MessageOf([&] { F.GetSize(); }).rfind("Cannot perform this operation (GetSize) on a closed file", 0), 0u);
  EXPECT_EQ(NativeCodeOf([&] { F.CloseFile(); }), 30376);
  EXPECT_EQ(NativeCodeOf([&] { F.CreateAndOpenFile(""); }), 30374);
  EXPECT_EQ(NativeCodeOf([&] { F.OpenFile(Dir.File("missing"), amReadWrite, smShareDenyNone); }), 30364);
  F.CreateAndOpenFile(Name);
  EXPECT_EQ(NativeCodeOf([&] { F.OpenFile(Name, amReadWrite, smShareDenyNone); }), 30377);
  EXPECT_EQ(NativeCodeOf([&] { F.DeleteFile(Name); }), 30377);
  EXPECT_EQ(NativeCodeOf([&] { F.SetPosition(-1); }), 30372);
  F.CloseFileForDesignTime();  // without a matching open: nothing happens
  EXPECT_TRUE(F.IsOpened());
}

TEST_F(DatabaseFileTest, CreateReplacesAReadOnlyFileButNeverOneInUse) {
  WriteWholeFile(Name, {1, 2, 3});
  ASSERT_EQ(::chmod(Name.c_str(), 0444), 0);
  {
    TQXLDatabaseFile F;
    F.CreateAndOpenFile(Name);
    EXPECT_EQ(F.GetSize(), 0);
    F.WriteBuffer("abc", 3, 0, 10469);
  }
  TQXLDatabaseFile Holder;
  Holder.OpenFile(Name, amReadWrite, smShareDenyNone);
  TQXLDatabaseFile F;
  EXPECT_EQ(NativeCodeOf([&] { F.CreateAndOpenFile(Name); }), 30361);
  EXPECT_EQ(ReadWholeFile(Name), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(NativeCodeOf([&] { F.DeleteFile(Name); }), 30362);
  EXPECT_EQ(NativeCodeOf([&] { F.RenameFile(Name, Dir.File("other")); }), 30378);
  Holder.CloseFile();
  F.RenameFile(Name, Dir.File("other"));
  F.DeleteFile(Dir.File("other"));
}

TEST_F(DatabaseFileTest, WriteThatCannotCompleteRaisesTheCallersCode) {
  WriteWholeFile(Name, std::vector<std::uint8_t>(16, 0));
  TQXLDatabaseFile F;
  F.OpenFile(Name, amReadOnly, smShareDenyNone);
  const std::string Text = MessageOf([&] { F.WriteBuffer("x", 1, 4, 10469); });
  EXPECT_EQ(Text.rfind("Cannot Write to file: '" + Name + "' Position = 4, Count = 1, ", 0), 0u) << Text;
  EXPECT_EQ(NativeCodeOf([&] { F.WriteBuffer("x", 1, 4, 10469); }), 10469);
}

TEST_F(DatabaseFileTest, LocksBetweenHandles) {
  TQXLDatabaseFile A, B;
  OpenTwoHandles(A, B);

  EXPECT_TRUE(A.LockByte(360, 1));
  EXPECT_FALSE(B.LockByte(360, 1));  // refused: a failed attempt, every time
  EXPECT_FALSE(B.LockByte(360, 1));
  EXPECT_TRUE(A.IsByteLocked(360));  // a byte this handle holds counts as locked
  EXPECT_TRUE(B.IsByteLocked(360));
  EXPECT_TRUE(B.IsRegionLocked(355, 10));
  EXPECT_FALSE(B.IsRegionLocked(361, 10));
  EXPECT_FALSE(B.UnlockByte(360, 1));  // not held by B
  EXPECT_TRUE(A.UnlockByte(360, 1));
  EXPECT_TRUE(B.LockByte(360, 1));
  EXPECT_TRUE(B.UnlockByte(360, 1));
}

TEST_F(DatabaseFileTest, ProbesNeverMakeAnotherHandlesLockFail) {
  TQXLDatabaseFile A, B;
  OpenTwoHandles(A, B);
  std::atomic<bool> Stop{false};
  std::thread Prober([&] {
    while (!Stop) B.IsByteLocked(360);
  });
  int Refused = 0;
  for (int i = 0; i < 20000; ++i) {
    if (!A.LockByte(360, 1)) ++Refused;
    else A.UnlockByte(360, 1);
  }
  Stop = true;
  Prober.join();
  EXPECT_EQ(Refused, 0);
}

// Inside a form editor the file object opens the file for each access and
// closes it again, so that another handle may have it exclusively in between.
TEST_F(DatabaseFileTest, DesignTimeBracketOpensAndClosesAroundEachAccess) {
  struct Restore {
    ~Restore() { FormEditorMode = false; }
  } R;
  {
    TQXLDatabaseFile Maker;
    Maker.CreateAndOpenFile(Name);
  }
  TQXLDatabaseFile F;
  F.OpenFile(Name, amReadWrite, smShareDenyNone);
  F.CloseFile();
  FormEditorMode = true;
  auto Between = [&] {
    EXPECT_FALSE(F.IsOpened());
    TQXLDatabaseFile Other;
    Other.OpenFile(Name, amReadWrite, smExclusive);
  };
  F.WriteBuffer("abc", 3, 10, 10469);
  Between();
  char Back[3] = {};
  F.ReadBuffer(Back, 3, 10, 10464);
  EXPECT_EQ(std::memcmp(Back, "abc", 3), 0);
  Between();
  EXPECT_EQ(F.GetSize(), 13);
  Between();
  EXPECT_TRUE(F.LockByte(360, 1));
  Between();
  EXPECT_FALSE(F.IsByteLocked(360));  // the lock went with the handle
  std::int64_t Offset = -1;
  EXPECT_FALSE(F.FindSignature(Offset));
  Between();
  FormEditorMode = false;
  EXPECT_EQ(NativeCodeOf([&] { F.GetSize(); }), 30376);
}

TEST(TryRepeatedlyTest, SleepsAfterEveryFailedCall) {
  platform::FakeClock Clock;
  platform::ScopedClock Use(Clock);
  int Calls = 0;
  EXPECT_FALSE(TryRepeatedly(4500, 20, [&] { return ++Calls < 0; }));
  EXPECT_EQ(Calls, 4500);
  EXPECT_EQ(Clock.SleepCount(), 4500u);
  EXPECT_EQ(Clock.SleptMs(), 90000u);
  Calls = 0;
  EXPECT_TRUE(TryRepeatedly(5, 100, [&] { return ++Calls == 3; }));
  EXPECT_EQ(Calls, 3);
  EXPECT_EQ(Clock.SleepCount(), 4502u);
}

TEST_F(DatabaseFileTest, FindSignatureScansOverlappingWindows) {
  auto FileWithHeaderAt = [&](std::size_t At, std::size_t Size) {
    std::vector<std::uint8_t> Bytes(Size, 'x');
    std::memcpy(Bytes.data() + At, QXLDatabaseSignature, 16);
    Bytes[At + 16] = 76;
    Bytes[At + 17] = 0;
    WriteWholeFile(Name, Bytes);
  };
  for (std::size_t At : {std::size_t(0), std::size_t(10000), std::size_t(9990), std::size_t(30000)}) {
    FileWithHeaderAt(At, 40000);
    TQXLDatabaseFile F;
    F.OpenFile(Name, amReadOnly, smShareDenyNone);
    F.SetPosition(123);
    std::int64_t Offset = -1;
    EXPECT_TRUE(F.FindSignature(Offset)) << At;
    EXPECT_EQ(Offset, static_cast<std::int64_t>(At));
    EXPECT_EQ(F.GetPosition(), 123);
  }
  // A signature with another size field does not count.
  FileWithHeaderAt(500, 2000);
  std::vector<std::uint8_t> Bytes = ReadWholeFile(Name);
  Bytes[516] = 77;
  WriteWholeFile(Name, Bytes);
  TQXLDatabaseFile F;
  F.OpenFile(Name, amReadOnly, smShareDenyNone);
  std::int64_t Offset = -1;
  EXPECT_FALSE(F.FindSignature(Offset));
  EXPECT_EQ(Offset, -1);
}

}  // namespace
