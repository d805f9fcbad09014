#include "engine/core/streams/QXLStream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/core/streams/QXLFileStream.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/streams/QXLMemoryStream.h"
#include "engine/core/streams/QXLTemporaryStream.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "tests/support/EngineErrors.h"
#include "tests/support/FaultyFileSystem.h"

using namespace qxl;

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, int seed = 0) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251);
  return v;
}

void Fill(TQXLStream& s, const std::vector<std::uint8_t>& data) {
  qxl::WriteBufferToStream(data.data(), static_cast<std::int32_t>(data.size()), s, 1);
}

std::vector<std::uint8_t> Content(TQXLStream& s) {
  const std::int64_t keep = s.Position();
  std::vector<std::uint8_t> v(static_cast<std::size_t>(s.Size()));
  s.SetPosition(0);
  if (!v.empty()) qxl::ReadBufferFromStream(v.data(), static_cast<std::int32_t>(v.size()), s, 1);
  s.SetPosition(keep);
  return v;
}

// A folder of its own for each test, removed afterwards.
class StreamFiles : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::path(testing::TempDir()) /
           ("qxl_stream_" + std::to_string(getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  std::string Path(const std::string& name) const { return (FDir / name).string(); }

  fs::path FDir;
};

}  // namespace

TEST(QXLMemoryStream, WriteReadAndSeek) {
  TQXLMemoryStream s;
  EXPECT_EQ(s.BlockSize(), 102400);
  EXPECT_FALSE(s.Modified());
  EXPECT_EQ(s.Write("hello", 5), 5);
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(s.Position(), 5);

  char buf[16] = {};
  s.SetPosition(1);
  EXPECT_EQ(s.Read(buf, 10), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(s.Read(buf, 10), 0);
  EXPECT_EQ(s.Read(buf, 0), 0);

  struct Case {
    std::int64_t from, offset;
    TSeekOrigin origin;
    std::int64_t expected;
  } cases[] = {
      {2, 3, soBeginning, 3},   {2, 3, soCurrent, 5}, {2, -1, soEnd, 4},
      {2, 100, soBeginning, 100}, {2, -7, soCurrent, -5}, {2, 9, TSeekOrigin(7), 0},
  };
  for (const Case& c : cases) {
    s.SetPosition(c.from);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected);
    EXPECT_EQ(s.Position(), c.expected);
  }
  // Past the end and before the start nothing is read or written.
  s.SetPosition(100);
  EXPECT_EQ(s.Read(buf, 1), 0);
  s.SetPosition(-3);
  EXPECT_EQ(s.Read(buf, 1), 0);
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_EQ(s.Size(), 5);
}

TEST(QXLMemoryStream, WritingPastTheEndGrowsTheContent) {
  TQXLMemoryStream s;
  s.SetPosition(3);
  EXPECT_EQ(s.Write("ab", 2), 2);
  EXPECT_EQ(s.Size(), 5);
  EXPECT_EQ(Content(s)[3], 'a');
}

TEST(QXLMemoryStream, TakesOverABlockAndDoublesOnGrowth) {
  auto* block = static_cast<std::uint8_t*>(QXLMemoryManager().GetMem(100));
  std::iota(block, block + 100, 0);
  TQXLMemoryStream s(block);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(s.AllocatedSize(), 100);
  EXPECT_EQ(s.Position(), 0);
  s.SetPosition(100);
  EXPECT_EQ(s.Write("z", 1), 1);
  EXPECT_EQ(s.Size(), 101);
  EXPECT_EQ(s.AllocatedSize(), 202);
  EXPECT_EQ(QXLMemoryManager().GetMemoryBufferSize(s.Buffer()), 202);
  std::vector<std::uint8_t> expected(100);
  std::iota(expected.begin(), expected.end(), 0);
  expected.push_back('z');
  EXPECT_EQ(Content(s), expected);
}

TEST(QXLMemoryStream, SizesAndAllocation) {
  const std::int64_t before = QXLMemoryManager().TotalMemAllocated();
  {
    TQXLMemoryStream s(nullptr, 50);
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.AllocatedSize(), 50);
    void* block = s.Buffer();
    Fill(s, Pattern(40));
    EXPECT_EQ(s.Buffer(), block);
    // A smaller size keeps the allocation and pulls the position back.
    s.SetSize(10);
    EXPECT_EQ(s.AllocatedSize(), 50);
    EXPECT_EQ(s.Position(), 10);
    const std::vector<std::uint8_t> written = Pattern(40);
    EXPECT_EQ(Content(s), std::vector<std::uint8_t>(written.begin(), written.begin() + 10));
    s.SetSize(0);
    EXPECT_EQ(s.Buffer(), nullptr);
    EXPECT_EQ(s.AllocatedSize(), 0);
    EXPECT_EQ(s.Position(), 0);
    // The first size after that is allocated exactly.
    s.SetSize(7);
    EXPECT_EQ(s.AllocatedSize(), 7);
  }
  EXPECT_EQ(QXLMemoryManager().TotalMemAllocated(), before);
}

TEST(QXLMemoryStream, GrowthBeyondThirtyTwoBitsIsRefused) {
  // Doubling stops at the largest block instead of wrapping.
  struct Case {
    std::int64_t size;
    std::int32_t allocation;
  } cases[] = {{101, 202},
               {1073741823, 2147483646},
               {1073741824, 2147483647},
               {1073741825, 2147483647},
               {2147483647, 2147483647}};
  for (const Case& c : cases) EXPECT_EQ(TQXLMemoryStream::GrownAllocation(c.size), c.allocation) << c.size;

  TQXLMemoryStream s;
  Fill(s, Pattern(10));
  const std::string refused = "Memory limit exceeded (Limit = 2147483647 bytes) - Native error: 30004";
  EXPECT_EQ(Raised([&] { s.SetSize(2147483648LL); }).Message, refused);
  EXPECT_EQ(Raised([&] { s.SetSize(INT64_MAX); }).Message, refused);
  for (std::int64_t at : {std::int64_t(2147483647), std::int64_t(1) << 40, INT64_MAX}) {
    s.SetPosition(at);
    EXPECT_EQ(Raised([&] { s.Write("x", 1); }).NativeError, 30004) << at;
  }
  // Nothing changed.
  EXPECT_EQ(s.Size(), 10);
  EXPECT_EQ(Content(s), Pattern(10));
}

TEST(QXLStreamRoutines, ExactReadReportsWhatArrived) {
  TQXLMemoryStream s;
  Fill(s, Pattern(100));
  s.SetPosition(95);
  char buf[10];
  EQXLException e = Raised([&] { qxl::ReadBufferFromStream(buf, 10, s, 4242); });
  EXPECT_EQ(e.NativeError, 4242);
  EXPECT_EQ(e.Message,
            "Cannot read from stream. Position = 95, Stream size = 100, Block size = 10, Bytes Read = 5"
            " - Native error:  4242");
  s.SetPosition(0);
  EXPECT_EQ(Raised([&] { qxl::ReadBufferFromStream(buf, -1, s, 10001); }).NativeError, 10001);
  EXPECT_EQ(s.Position(), 0);
  qxl::ReadBufferFromStream(buf, 10, s, 1);
  EXPECT_EQ(s.Position(), 10);
}

TEST(QXLStreamRoutines, ExactWriteAndPosition) {
  TQXLMemoryStream s;
  qxl::WriteBufferToStream("abc", 3, s, 1);
  EXPECT_EQ(s.Size(), 3);
  EQXLException e = Raised([&] { qxl::WriteBufferToStream("abc", -2, s, 30123); });
  EXPECT_EQ(e.Message,
            "Cannot write to stream. Position = 3, Stream size = 3, Block size = -2, Bytes Write = 0"
            " - Native error: 30123");
  qxl::SetStreamPosition(s, 1, 2);
  EXPECT_EQ(s.Position(), 2);
}

TEST_F(StreamFiles, ExactRoutinesOnAFileStream) {
  {
    TQXLFileStream f(Path("data"), TQXLFileStream::fmCreate);
    Fill(f, Pattern(10));
  }
  TQXLFileStream f(Path("data"), TQXLFileStream::fmOpenRead);
  f.SetPosition(3);
  EQXLException e = Raised([&] { qxl::SetStreamPosition(f, 20111, -1); });
  EXPECT_EQ(e.Message, "Cannot set stream position to -1. Position = 3, Size = 10 - Native error: 20111");
  EXPECT_EQ(f.Position(), 3);
  e = Raised([&] { qxl::WriteBufferToStream("abc", 3, f, 20112); });
  EXPECT_EQ(e.Message,
            "Cannot write to stream. Position = 3, Stream size = 10, Block size = 3, Bytes Write = 0"
            " - Native error: 20112");
}

TEST(QXLStreamCopy, SaveToStreamKeepsBothPositions) {
  TQXLMemoryStream src, dst;
  Fill(src, Pattern(10, 1));
  src.SetPosition(4);
  Fill(dst, Pattern(12, 2));
  dst.SetPosition(10);
  std::vector<double> progress;
  src.SetBlockSize(4);
  src.SetOnProgress([&](TQXLStream* sender, double p) {
    EXPECT_EQ(sender, &src);
    progress.push_back(p);
  });
  src.SaveToStream(dst);
  EXPECT_EQ(src.Position(), 4);
  EXPECT_EQ(dst.Position(), 10);
  std::vector<std::uint8_t> expected = Pattern(12, 2);
  expected.resize(10);
  for (std::uint8_t b : Pattern(10, 1)) expected.push_back(b);
  EXPECT_EQ(Content(dst), expected);
  EXPECT_EQ(progress, (std::vector<double>{0, 40, 80, 100, 100}));
}

TEST(QXLStreamCopy, LoadFromStreamWithPositionTakesARange) {
  TQXLMemoryStream src, dst;
  Fill(src, Pattern(20, 3));
  src.SetPosition(7);
  Fill(dst, Pattern(50));
  dst.SetPosition(2);
  std::vector<double> progress;
  dst.SetBlockSize(3);
  dst.SetOnProgress([&](TQXLStream*, double p) { progress.push_back(p); });
  dst.LoadFromStreamWithPosition(src, 5, 5);
  auto all = Pattern(20, 3);
  EXPECT_EQ(Content(dst), std::vector<std::uint8_t>(all.begin() + 5, all.begin() + 10));
  EXPECT_EQ(src.Position(), 7);
  EXPECT_EQ(dst.Position(), 2);
  EXPECT_EQ(progress, (std::vector<double>{0, 40, 50, 100}));

  progress.clear();
  dst.LoadFromStreamWithPosition(src, 5, 0);
  EXPECT_EQ(dst.Size(), 0);
  EXPECT_EQ(progress, (std::vector<double>{0, 100}));

  dst.LoadFromStream(src);
  EXPECT_EQ(Content(dst), all);
}

TEST(QXLStreamCopy, Failures) {
  TQXLMemoryStream src, dst;
  Fill(src, Pattern(100));
  struct Case {
    std::int32_t blockSize;
    std::int32_t saveCode, loadCode;
  } cases[] = {{0, 10418, 10419}, {-5, 10418, 10419}};
  for (const Case& c : cases) {
    src.SetBlockSize(c.blockSize);
    dst.SetBlockSize(c.blockSize);
    EQXLException e = Raised([&] { src.SaveToStream(dst); });
    EXPECT_EQ(e.NativeError, c.saveCode);
    EXPECT_EQ(e.Message, "Stream block size = 0 is not allowed - Native error: 10418");
    EXPECT_EQ(Raised([&] { dst.LoadFromStream(src); }).NativeError, c.loadCode);
  }
  src.SetBlockSize(102400);
  dst.SetBlockSize(102400);
  // Asking for more than the source holds is a short read.
  EQXLException e = Raised([&] { dst.LoadFromStreamWithPosition(src, 95, 10); });
  EXPECT_EQ(e.Message,
            "Cannot read from stream. Position = 95, Stream size = 100, Block size = 10, Bytes Read = 5"
            " - Native error: 10148");
  // A source position that cannot hold data never loops.
  EXPECT_EQ(Raised([&] { dst.LoadFromStreamWithPosition(src, -50, 10); }).NativeError, 10148);
}

TEST_F(StreamFiles, CopyIntoAReadOnlyFileFails) {
  { TQXLFileStream create(Path("ro"), TQXLFileStream::fmCreate); }
  TQXLFileStream ro(Path("ro"), TQXLFileStream::fmOpenRead | TQXLFileStream::fmShareDenyNone);
  TQXLMemoryStream src;
  Fill(src, Pattern(10));
  EQXLException e = Raised([&] { src.SaveToStream(ro); });
  EXPECT_EQ(e.Message,
            "Cannot write to stream. Position = 0, Stream size = 0, Block size = 10, Bytes Write = 0"
            " - Native error: 10147");
  // Emptying a read-only file is refused by the platform.
  EXPECT_THROW(ro.LoadFromStream(src), platform::Exception);
}

namespace {

// Takes at most three bytes per write, like a full disk.
class ShortWriteStream : public TQXLMemoryStream {
public:
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    return TQXLMemoryStream::Write(Buffer, std::min(Count, 3));
  }
};

}  // namespace

TEST(QXLStreamCopy, ShortWriteWhileLoading) {
  TQXLMemoryStream src;
  Fill(src, Pattern(10));
  ShortWriteStream dst;
  EQXLException e = Raised([&] { dst.LoadFromStream(src); });
  EXPECT_EQ(e.Message,
            "Cannot write to stream. Position = 0, Stream size = 3, Block size = 10, Bytes Write = 3"
            " - Native error: 10149");
  // Positions stay where the copy stopped.
  EXPECT_EQ(src.Position(), 10);
  EXPECT_EQ(dst.Position(), 3);
}

TEST_F(StreamFiles, SaveAndLoadFiles) {
  TQXLMemoryStream s;
  Fill(s, Pattern(250000));
  s.SaveToFile(Path("saved"));
  EXPECT_EQ(fs::file_size(Path("saved")), 250000u);
  TQXLMemoryStream t;
  t.LoadFromFile(Path("saved"));
  EXPECT_EQ(Content(t), Pattern(250000));
  EXPECT_EQ(Raised([&] { t.LoadFromFile(Path("missing")); }).Message,
            "Cannot open file. FileName = " + Path("missing") + ", Mode = 32 - Native error: 10105");
}

TEST_F(StreamFiles, FileStreamReadWriteSeekAndSize) {
  TQXLFileStream f(Path("f"), TQXLFileStream::fmCreate);
  EXPECT_EQ(f.BlockSize(), 102400);
  EXPECT_EQ(f.FileName(), Path("f"));
  EXPECT_EQ(f.Mode(), 0xFF00);
  EXPECT_FALSE(f.IsTemporary());
  Fill(f, Pattern(30));
  EXPECT_EQ(f.Size(), 30);
  EXPECT_EQ(f.Seek(-10, soEnd), 20);
  std::uint8_t b[5];
  EXPECT_EQ(f.Read(b, 5), 5);
  EXPECT_EQ(b[0], Pattern(30)[20]);
  EXPECT_EQ(f.Seek(-100, soCurrent), -1);
  EXPECT_EQ(f.Position(), 25);
  f.SetSize(12);
  EXPECT_EQ(f.Size(), 12);
  EXPECT_EQ(f.Position(), 12);
  f.SetPosition(4);
  f.SetSize(40);
  EXPECT_EQ(f.Position(), 4);
  EXPECT_EQ(f.Seek(0, TSeekOrigin(9)), 0);
  EXPECT_EQ(f.Read(b, -1), 0);
  EXPECT_THROW(f.SetSize(-1), platform::Exception);
}

TEST_F(StreamFiles, FileStreamOpenFailures) {
  EXPECT_EQ(Raised([&] { TQXLFileStream(Path("no/such/dir"), TQXLFileStream::fmCreate); }).Message,
            "Cannot create file. FileName = " + Path("no/such/dir") + " - Native error: 10104");
  { TQXLFileStream create(Path("x"), TQXLFileStream::fmCreate); }
  for (std::uint16_t mode : {std::uint16_t(0x03), std::uint16_t(0x50), std::uint16_t(0x0104), std::uint16_t(0x08)})
    EXPECT_EQ(Raised([&] { TQXLFileStream(Path("x"), mode); }).NativeError, 10105) << mode;
  // Denying others writing keeps a writer out but lets a reader in.
  TQXLFileStream reader(Path("x"), TQXLFileStream::fmOpenRead | TQXLFileStream::fmShareDenyWrite);
  EXPECT_EQ(Raised([&] { TQXLFileStream(Path("x"), TQXLFileStream::fmOpenReadWrite); }).Message,
            "Cannot open file. FileName = " + Path("x") + ", Mode = 2 - Native error: 10105");
  TQXLFileStream second(Path("x"), TQXLFileStream::fmOpenRead | TQXLFileStream::fmShareDenyWrite);
}

TEST_F(StreamFiles, TemporaryFileStreamIsDeletedWhenFreed) {
  std::string name = Path("tmp");
  {
    TQXLFileStream f(name, TQXLFileStream::fmCreate, true);
    EXPECT_TRUE(f.IsTemporary());
    Fill(f, Pattern(5));
    EXPECT_TRUE(fs::exists(name));
  }
  EXPECT_FALSE(fs::exists(name));
}

TEST(QXLTemporaryStream, MovesToAFileWhenTheContentWouldPassTheLimit) {
  std::string fileName;
  {
    TQXLTemporaryStream s;
    EXPECT_EQ(s.MemoryLimit(), 1048576);
    EXPECT_TRUE(s.InMemory());
    EXPECT_EQ(s.FileStream(), nullptr);
    std::vector<std::uint8_t> data = Pattern(1048000);
    Fill(s, data);
    EXPECT_TRUE(s.InMemory());
    // Overwriting existing bytes still moves a full stream to a file.
    s.SetPosition(1000);
    std::vector<std::uint8_t> patch = Pattern(1000, 9);
    Fill(s, patch);
    EXPECT_FALSE(s.InMemory());
    EXPECT_EQ(s.MemoryStream(), nullptr);
    ASSERT_NE(s.FileStream(), nullptr);
    EXPECT_TRUE(s.FileStream()->IsTemporary());
    fileName = s.FileName();
    EXPECT_EQ(fs::path(fileName).parent_path(), fs::path(platform::TempDirectory()));
    EXPECT_EQ(fs::path(fileName).filename().string().substr(0, 3), "QXL");
    EXPECT_TRUE(fs::exists(fileName));
    EXPECT_EQ(s.Position(), 2000);
    EXPECT_EQ(s.Size(), 1048000);
    std::copy(patch.begin(), patch.end(), data.begin() + 1000);
    EXPECT_EQ(Content(s), data);
    // It stays a file even when emptied.
    s.SetSize(0);
    Fill(s, Pattern(3));
    EXPECT_FALSE(s.InMemory());
    EXPECT_EQ(Content(s), Pattern(3));
  }
  EXPECT_FALSE(fs::exists(fileName));
}

TEST(QXLTemporaryStream, SetSizeAndDisabledFilesStayInMemory) {
  TQXLTemporaryStream sized;
  sized.SetSize(2 * 1048576);
  EXPECT_TRUE(sized.InMemory());
  EXPECT_EQ(sized.Size(), 2 * 1048576);

  TQXLTemporaryStream s(true);
  std::vector<std::uint8_t> chunk = Pattern(1 << 20);
  for (int i = 0; i < 5; ++i) Fill(s, chunk);
  EXPECT_TRUE(s.InMemory());
  EXPECT_EQ(s.Size(), 5 << 20);
  EXPECT_TRUE(s.FileName().empty());
  s.SetPosition(3 << 20);
  std::vector<std::uint8_t> back(1 << 20);
  qxl::ReadBufferFromStream(back.data(), 1 << 20, s, 1);
  EXPECT_EQ(back, chunk);
}

TEST(QXLTemporaryStream, SmallLimit) {
  TQXLTemporaryStream s;
  s.SetMemoryLimit(10);
  Fill(s, Pattern(10));
  EXPECT_TRUE(s.InMemory());
  s.SetPosition(4);
  Fill(s, Pattern(1, 5));
  EXPECT_FALSE(s.InMemory());
  EXPECT_EQ(s.Position(), 5);
  std::vector<std::uint8_t> expected = Pattern(10);
  expected[4] = Pattern(1, 5)[0];
  EXPECT_EQ(Content(s), expected);
}

TEST(QXLStream, LockIsReentrantAndExcludesOtherThreads) {
  TQXLMemoryStream s;
  s.Lock();
  s.Lock();
  s.Unlock();
  std::atomic<bool> entered{false};
  std::thread other([&] {
    s.Lock();
    entered = true;
    s.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered);
  s.Unlock();
  other.join();
  EXPECT_TRUE(entered);
}

namespace {

// Hands out names of its own, so that a name reserved elsewhere shows.
class NamingFileSystem : public platform::test::FaultyFileSystem {
public:
  std::string TempFileName() override {
    ++Calls;
    return "/no-such-folder/QXL" + std::to_string(Calls);
  }
  int Calls = 0;
};

}  // namespace

TEST(QXLTemporaryFileName, IsReservedThroughTheFileSystemGiven) {
  NamingFileSystem files;
  EXPECT_EQ(qxl::GetTemporaryFileName(files), "/no-such-folder/QXL1");
  EXPECT_EQ(qxl::GetTemporaryFileName(files), "/no-such-folder/QXL2");
  EXPECT_EQ(files.Calls, 2);

  const std::string real = qxl::GetTemporaryFileName();
  EXPECT_EQ(fs::path(real).parent_path(), fs::path(platform::TempDirectory()));
  EXPECT_EQ(fs::path(real).filename().string().substr(0, 3), "QXL");
  EXPECT_TRUE(fs::exists(real));
  fs::remove(real);
}
