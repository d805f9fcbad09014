#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "engine/coding/Crc32.h"
#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "tests/engine/coding/BZip2Samples.h"
#include "tests/engine/core/QXLSchemaTestSupport.h"

using namespace qxl;

namespace {

constexpr std::int32_t kBlock = 102400;
constexpr std::int64_t kStart = 7;  // bytes of something else before the BLOB

// Compressible but not trivial: words from a small vocabulary.
Bytes Data(std::size_t n, unsigned seed = 1) {
  static const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon ", "zeta ", "eta ", "theta "};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const char* w = words[rng() % 8];
    b.insert(b.end(), w, w + std::strlen(w));
    if (rng() % 50 == 0) b.push_back(static_cast<std::uint8_t>(rng()));
  }
  b.resize(n);
  return b;
}

TQXLBLOBDescriptor Descriptor(TQXLCompressionAlgorithm alg = acaZLIB, std::uint8_t mode = 1,
                              std::int32_t blockSize = kBlock) {
  TQXLBLOBDescriptor d;
  d.BlockSize = blockSize;
  d.StartPosition = kStart;
  d.CompressionAlgorithm = alg;
  d.CompressionMode = mode;
  return d;
}

Bytes ReadAll(TQXLStream& s) {
  Bytes b(static_cast<std::size_t>(s.Size()));
  s.SetPosition(0);
  std::int32_t n = b.empty() ? 0 : s.Read(b.data(), static_cast<std::int32_t>(b.size()));
  EXPECT_EQ(n, static_cast<std::int32_t>(b.size()));
  return b;
}

void WriteAll(TQXLStream& s, const Bytes& b) {
  ASSERT_EQ(s.Write(b.data(), static_cast<std::int32_t>(b.size())), static_cast<std::int32_t>(b.size()));
}

struct StoredBlock {
  TQXLCompressedStreamBlockHeader header;
  std::int64_t position;
};

// The blocks as they lie in the underlying bytes, walked from the start.
std::vector<StoredBlock> StoredBlocks(const Bytes& all, std::int64_t count) {
  std::vector<StoredBlock> blocks;
  std::int64_t p = kStart;
  for (std::int64_t i = 0; i < count; ++i) {
    std::uint8_t bytes[20];
    std::memcpy(bytes, all.data() + p, 20);
    blocks.push_back({TQXLCompressedStreamBlockHeader::Decode(bytes), p});
    p += blocks.back().header.OffsetToNextHeader;
  }
  return blocks;
}

// An underlying stream holding a BLOB of the given bytes, written and closed.
class BlobFixture : public ::testing::Test {
protected:
  TQXLBLOBDescriptor Store(const Bytes& data, TQXLBLOBDescriptor d = Descriptor()) {
    Fill(Under, Bytes(kStart, 0xEE));
    TQXLCompressedBLOBStream blob(Under, d, true, false);
    WriteAll(blob, data);
    return blob.BLOBDescriptor();
  }

  std::unique_ptr<TQXLCompressedBLOBStream> Open(const TQXLBLOBDescriptor& d, bool repair = false) {
    return std::make_unique<TQXLCompressedBLOBStream>(Under, d, false, repair);
  }

  void Patch(std::int64_t at, const Bytes& bytes) {
    Under.SetPosition(at);
    Under.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  }

  TQXLMemoryStream Under;
};

}  // namespace

TEST_F(BlobFixture, ANewBlobTakesTheDefaultBlockSizeOfItsMode) {
  struct {
    std::uint8_t mode;
    std::int32_t size;
  } cases[] = {{0, 102400}, {3, 524288}, {6, 1048576}, {9, 1572864}};
  for (auto c : cases) {
    TQXLCompressedBLOBStream blob(Under, Descriptor(acaZLIB, c.mode, 0), true, false);
    EXPECT_EQ(blob.BLOBDescriptor().BlockSize, c.size);
    EXPECT_EQ(blob.BlockSize(), c.size);
    EXPECT_EQ(blob.BLOBDescriptor().NumBlocks, 0);
    EXPECT_EQ(blob.Size(), 0);
  }
}

TEST_F(BlobFixture, BlocksFollowEachOtherWithTheirHeaders) {
  const Bytes data = Data(kBlock * 5 / 2);
  auto d = Store(data);
  EXPECT_EQ(d.NumBlocks, 3);
  EXPECT_EQ(d.UncompressedSize, 256000);
  auto blocks = StoredBlocks(ContentOf(Under), 3);
  EXPECT_EQ(blocks[0].position, kStart);
  std::int64_t offset = 0;
  for (int i = 0; i < 3; ++i) {
    auto h = blocks[i].header;
    EXPECT_EQ(h.UncompressedSize, i < 2 ? kBlock : kBlock / 2);
    EXPECT_EQ(h.OffsetToNextHeader, h.CompressedSize + 20);
    EXPECT_LT(h.CompressedSize, h.UncompressedSize);
    EXPECT_EQ(h.Crc32, qxl::UpdateCrc32(0, data.data() + offset, static_cast<std::uint32_t>(h.UncompressedSize)));
    if (i > 0) {
      EXPECT_EQ(blocks[i].position, blocks[i - 1].position + 20 + blocks[i - 1].header.CompressedSize);
    }
    offset += h.UncompressedSize;
  }
  EXPECT_EQ(Under.Size(), blocks[2].position + blocks[2].header.OffsetToNextHeader);
  EXPECT_EQ(ContentOf(Under)[0], 0xEE);  // nothing before the start was touched

  auto blob = Open(d);
  EXPECT_EQ(blob->Size(), 256000);
  EXPECT_EQ(ReadAll(*blob), data);
}

// Ten more bytes rewrite only the last block, which then holds 51210 bytes.
TEST_F(BlobFixture, AppendingRewritesOnlyThePartialLastBlock) {
  Bytes data = Data(kBlock * 5 / 2);
  auto d = Store(data);
  const Bytes before = ContentOf(Under);
  auto blocks = StoredBlocks(before, 3);

  auto blob = Open(d);
  blob->Seek(0, soEnd);
  const Bytes tail = Text("0123456789");
  WriteAll(*blob, tail);
  data.insert(data.end(), tail.begin(), tail.end());
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 3);
  EXPECT_EQ(blob->BLOBDescriptor().UncompressedSize, 256010);

  blob->Flush();
  const Bytes after = ContentOf(Under);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + blocks[2].position, after.begin()));
  auto newBlocks = StoredBlocks(after, 3);
  EXPECT_EQ(newBlocks[2].position, blocks[2].position);
  EXPECT_EQ(newBlocks[2].header.UncompressedSize, 51210);
  EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), data);
}

TEST_F(BlobFixture, ReadsAcrossBlockBoundaries) {
  const Bytes data = Data(kBlock * 3 + 17, 5);
  auto d = Store(data);
  auto blob = Open(d);
  struct {
    std::int64_t at;
    std::int32_t count;
  } reads[] = {{0, 1}, {kBlock - 3, 10}, {kBlock * 2 - 1, kBlock + 2}, {kBlock * 3, 17}, {kBlock * 3 + 10, 100}};
  for (auto r : reads) {
    Bytes got(static_cast<std::size_t>(r.count));
    blob->SetPosition(r.at);
    std::int32_t n = blob->Read(got.data(), r.count);
    std::int64_t expected = std::min<std::int64_t>(r.count, static_cast<std::int64_t>(data.size()) - r.at);
    ASSERT_EQ(n, expected) << r.at;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, data.begin() + r.at)) << r.at;
    EXPECT_EQ(blob->Position(), r.at + n);
  }
  Bytes one(1);
  blob->Seek(0, soEnd);
  EXPECT_EQ(blob->Read(one.data(), 1), 0);
  blob->SetPosition(-5);
  EXPECT_EQ(blob->Read(one.data(), 1), 0);
}

TEST_F(BlobFixture, SetSizeTruncatesAndExtends) {
  const Bytes data = Data(256010);
  auto d = Store(data);

  {  // Into the first block: one block, recompressed; the stream ends after it.
    auto blob = Open(d);
    blob->SetSize(100000);
    EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 1);
    auto b = StoredBlocks(ContentOf(Under), 1)[0];
    EXPECT_EQ(b.header.UncompressedSize, 100000);
    EXPECT_EQ(Under.Size(), kStart + 20 + b.header.CompressedSize);
    EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), Bytes(data.begin(), data.begin() + 100000));
  }
  d = Store(data);
  {  // On a block boundary: two blocks kept, the underlying stream unchanged.
    const std::int64_t length = Under.Size();
    auto blob = Open(d);
    blob->SetPosition(250000);
    blob->SetSize(204800);
    EXPECT_EQ(blob->Position(), 204800);
    EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 2);
    EXPECT_EQ(Under.Size(), length);
    EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), Bytes(data.begin(), data.begin() + 204800));

    blob->SetSize(300000);  // zeros appended
    EXPECT_EQ(blob->Size(), 300000);
    EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 3);
    Bytes expected(data.begin(), data.begin() + 204800);
    expected.resize(300000, 0);
    EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), expected);

    blob->SetSize(0);
    EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 0);
    EXPECT_EQ(Open(blob->BLOBDescriptor())->Size(), 0);
  }
}

TEST_F(BlobFixture, WritesOnlyAtOrPastTheEnd) {
  auto d = Store(Text("hello"));
  auto blob = Open(d);
  blob->SetPosition(2);
  EXPECT_EQ(blob->Write("xx", 2), 0);
  EXPECT_EQ(blob->Write("xx", 0), 0);
  blob->SetPosition(9);  // past the end: the gap becomes zeros
  EXPECT_EQ(blob->Write("!", 1), 1);
  EXPECT_EQ(blob->Position(), 10);
  EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), (Text("hello") + Bytes{0, 0, 0, 0} + Text("!")));
}

// Buffers follow the bytes at hand, not the block size: a huge block size
// (a damaged or odd column setting) must not make small writes allocate it.
TEST_F(BlobFixture, AHugeBlockSizeCostsOnlyTheBytesWritten) {
  auto d = Store(Text("abc"), Descriptor(acaZLIB, 1, 0x7FFFFFFF));
  auto blob = Open(d);
  blob->SetPosition(3);
  WriteAll(*blob, Text("def"));
  blob->SetSize(10);
  EXPECT_EQ(blob->BLOBDescriptor().NumBlocks, 1);
  EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), (Text("abcdef") + Bytes{0, 0, 0, 0}));
}

TEST_F(BlobFixture, EveryAlgorithmRoundTripsOverManySmallBlocks) {
  const Bytes data = Data(10000, 9);
  for (auto [alg, mode] : {std::pair{acaZLIB, 9}, {acaBZIP, 1}, {acaPPM, 5}}) {
    auto d = Store(data, Descriptor(alg, static_cast<std::uint8_t>(mode), 999));
    EXPECT_EQ(d.NumBlocks, 11);
    auto blob = Open(d);
    EXPECT_EQ(ReadAll(*blob), data) << int(alg);
    EXPECT_GT(blob->CompressionRate(), 0);
    EXPECT_EQ(blob->CompressedSize(), Under.Size());
  }
}

TEST_F(BlobFixture, ACorruptedBlockFailsItsChecks) {
  auto d = Store(Data(kBlock * 2));
  auto blocks = StoredBlocks(ContentOf(Under), 2);
  Patch(blocks[1].position + 8, Int32LE(static_cast<std::int32_t>(blocks[1].header.Crc32 ^ 1)));
  auto blob = Open(d);
  Bytes first(kBlock), second(10);
  EXPECT_EQ(blob->Read(first.data(), kBlock), kBlock);
  EXPECT_EQ(NativeCodeOf([&] { blob->Read(second.data(), 10); }), 10089);

  Patch(blocks[0].position + 20 + 5, Bytes{0xFF, 0xFF, 0xFF});
  blob->SetPosition(0);
  EXPECT_EQ(NativeCodeOf([&] { blob->Read(first.data(), 10); }), 10087);
}

TEST_F(BlobFixture, ACutOffLastHeaderFailsOrIsRepaired) {
  const Bytes data = Data(kBlock * 5 / 2);
  auto d = Store(data);
  auto blocks = StoredBlocks(ContentOf(Under), 3);
  Under.SetSize(blocks[2].position + 12);
  EXPECT_EQ(MessageOf([&] { Open(d); }),
            "Stream size = " + std::to_string(Under.Size()) + " too small. Should be at least = " +
                std::to_string(blocks[2].position + 20) + " - Native error: 10082");

  auto repaired = Open(d, true);
  EXPECT_EQ(repaired->BLOBDescriptor().NumBlocks, 2);
  EXPECT_EQ(repaired->Size(), 2 * kBlock);
  EXPECT_EQ(ReadAll(*repaired), Bytes(data.begin(), data.begin() + 2 * kBlock));
}

// Headers are checked against the block size and the stream before they are
// trusted: a damaged BLOB neither reads past a block nor sizes a buffer from a
// stray number.
TEST_F(BlobFixture, DamagedHeadersFailCleanly) {
  const Bytes data = Data(kBlock * 5 / 2);
  auto d = Store(data);
  const Bytes good = ContentOf(Under);
  auto blocks = StoredBlocks(good, 3);
  struct Case {
    const char* what;
    int block;
    std::int64_t field;  // offset within the header
    Bytes value;
    std::int32_t code;
  } cases[] = {
      {"negative compressed size", 0, 0, Int32LE(-20), 10083},
      {"compressed size beyond the stream", 2, 0, Int32LE(0x7FFFFFF0), 10083},
      {"uncompressed size above the block size", 2, 4, Int32LE(0x7FFFFFFF), 10088},
      {"short block before the last", 0, 4, Int32LE(kBlock - 1), 10088},
      {"empty last block", 2, 4, Int32LE(0), 10088},
      {"gap before the next header", 1, 12, Int64LE(blocks[1].header.OffsetToNextHeader + 4), 10083},
      {"offset far out", 1, 12, Int64LE(0x7FFFFFFFFFFFFFF0), 10083},
  };
  for (auto& c : cases) {
    Fill(Under, good);
    Patch(blocks[c.block].position + c.field, c.value);
    EXPECT_EQ(NativeCodeOf([&] { Open(d); }), c.code) << c.what;
    auto repaired = Open(d, true);
    EXPECT_EQ(repaired->BLOBDescriptor().NumBlocks, c.block) << c.what;
    EXPECT_EQ(ReadAll(*repaired), Bytes(data.begin(), data.begin() + kBlock * c.block)) << c.what;
  }

  // A consistent header whose data runs past the end of the stream.
  Fill(Under, good);
  Under.SetSize(Under.Size() - 1);
  EXPECT_EQ(NativeCodeOf([&] { Open(d); }), 10082);

  Fill(Under, good);
  auto bad = d;
  bad.NumBlocks = -1;
  EXPECT_EQ(NativeCodeOf([&] { Open(bad); }), 10080);
  bad = d;
  bad.BlockSize = 0;
  EXPECT_EQ(NativeCodeOf([&] { Open(bad); }), 10080);
  bad = d;
  bad.BlockSize = kBlock / 2;  // the stored blocks are larger than the descriptor says
  EXPECT_EQ(NativeCodeOf([&] { Open(bad); }), 10088);
}

TEST_F(BlobFixture, AlgorithmZeroStoresTheBytesAsTheyAre) {
  auto d = Store(Text("plain bytes"), Descriptor(acaNone));
  EXPECT_EQ(ContentOf(Under), Bytes(kStart, 0xEE) + Text("plain bytes"));
  EXPECT_EQ(d.UncompressedSize, 11);
  EXPECT_EQ(d.NumBlocks, 0);

  auto blob = Open(d);
  EXPECT_EQ(blob->CompressionRate(), 0);
  EXPECT_EQ(ReadAll(*blob), Text("plain bytes"));
  blob->SetPosition(6);
  WriteAll(*blob, Text("BYTES!"));  // overwriting is allowed here
  EXPECT_EQ(blob->Size(), 12);
  blob->SetSize(5);
  EXPECT_EQ(Under.Size(), kStart + 5);
  EXPECT_EQ(blob->Position(), 5);
  EXPECT_EQ(ReadAll(*blob), Text("plain"));

  // Reads stop at the BLOB's end even if the stream holds more.
  Patch(kStart + 5, Text("MORE"));
  EXPECT_EQ(ReadAll(*Open(blob->BLOBDescriptor())), Text("plain"));

  auto tooLong = blob->BLOBDescriptor();
  tooLong.UncompressedSize = 100;
  EXPECT_EQ(NativeCodeOf([&] { Open(tooLong); }), 10081);
  EXPECT_EQ(Open(tooLong, true)->Size(), 9);
}

// Start positions and sizes at the ends of the 64-bit range come from damaged
// descriptors or careless callers; they are refused with the stream's errors
// instead of overflowing the position arithmetic.
TEST_F(BlobFixture, PositionsAndSizesAtTheEndsOfTheRangeAreRefused) {
  for (auto alg : {acaNone, acaZLIB}) {
    Fill(Under, Bytes(64, 0xEE));
    auto d = Descriptor(alg);
    d.NumBlocks = 1;
    d.UncompressedSize = 10;
    for (std::int64_t start : {INT64_MIN, std::int64_t{-1}}) {
      d.StartPosition = start;
      EXPECT_EQ(NativeCodeOf([&] { Open(d); }), 10103) << start;
      EXPECT_EQ(NativeCodeOf([&] { Open(d, true); }), 10103) << start;
    }
    d.StartPosition = INT64_MAX;
    EXPECT_EQ(NativeCodeOf([&] { Open(d); }), alg == acaNone ? 10081 : 10082);
    EXPECT_EQ(Open(d, true)->Size(), 0);
  }

  // SetSize beyond what the stream can hold leaves the BLOB as it was.
  for (auto alg : {acaNone, acaZLIB}) {
    auto d = Store(Text("twelve bytes"), Descriptor(alg));
    auto blob = Open(d);
    const std::int32_t code = alg == acaNone ? 10093 : 10098;
    EXPECT_EQ(NativeCodeOf([&] { blob->SetSize(INT64_MAX); }), code);
    EXPECT_EQ(NativeCodeOf([&] { blob->SetSize(INT64_MAX - kStart + 1); }), code);
    EXPECT_EQ(blob->Size(), 12);
    if (alg != acaNone) {
      // Far past the end: the zeros in between would need more blocks than can be numbered.
      blob->SetPosition(INT64_MAX);
      const std::uint8_t byte = 1;
      EXPECT_EQ(NativeCodeOf([&] { blob->Write(&byte, 1); }), code);
    }
    EXPECT_EQ(blob->Size(), 12);
    EXPECT_EQ(ReadAll(*blob), Text("twelve bytes"));
  }
}

// A block whose data decodes to far more than its header says fails once the
// header's size is passed, without decoding the rest.
TEST_F(BlobFixture, ABlockDecodingBeyondItsSizeFailsAtOnce) {
  const Bytes bomb = compression_samples::BZip2OfZeros(std::uint64_t{256} << 20);
  ASSERT_LT(bomb.size(), 2000u);
  const Bytes zeros(kBlock, 0);
  TQXLCompressedStreamBlockHeader h{};
  h.CompressedSize = static_cast<std::int32_t>(bomb.size());
  h.UncompressedSize = kBlock;
  h.Crc32 = qxl::UpdateCrc32(0, zeros.data(), kBlock);
  h.OffsetToNextHeader = h.CompressedSize + 20;
  std::uint8_t header[20];
  h.Encode(header);
  Fill(Under, Bytes(kStart, 0xEE) + Bytes(header, header + 20) + bomb);
  auto d = Descriptor(acaBZIP, 9);
  d.NumBlocks = 1;
  d.UncompressedSize = kBlock;
  auto blob = Open(d);
  std::uint8_t byte = 0;
  EXPECT_EQ(NativeCodeOf([&] { blob->Read(&byte, 1); }), 10087);
}

namespace {

// One step of a write pattern, applied alike to a BLOB and to a model of its bytes.
struct Step {
  enum Kind { Write, WriteBytewise, Seek, SetSize, Read } kind;
  std::int64_t value;  // bytes to write or read, position, or size
};

struct Pattern {
  const char* name;
  std::int32_t blockSize;
  std::vector<Step> steps;
  bool everyAlgorithm = false;  // else zlib only
};

// Applies Steps to Blob and to Model; Eager stores the pending block after
// every call, as every write did before the last block was kept in memory.
void Apply(TQXLCompressedBLOBStream& blob, Bytes& model, std::int64_t& position, const std::vector<Step>& steps,
           bool eager, unsigned seed) {
  const Bytes source = Data(2000, seed);
  std::size_t next = 0;  // of source
  auto writeAt = [&](const std::uint8_t* p, std::int32_t n) {
    const std::int32_t written = blob.Write(p, n);
    if (eager) blob.Flush();
    if (position < static_cast<std::int64_t>(model.size())) {
      EXPECT_EQ(written, 0) << "a write before the end is refused";
      return;
    }
    ASSERT_EQ(written, n);
    model.resize(static_cast<std::size_t>(position), 0);
    model.insert(model.end(), p, p + n);
    position += n;
  };
  for (const Step& s : steps) {
    switch (s.kind) {
      case Step::Write:
        writeAt(source.data() + next, static_cast<std::int32_t>(s.value));
        next += static_cast<std::size_t>(s.value);
        break;
      case Step::WriteBytewise:
        for (std::int64_t i = 0; i < s.value; ++i) writeAt(source.data() + next++, 1);
        break;
      case Step::Seek:
        position = blob.Seek(s.value, soBeginning);
        break;
      case Step::SetSize:
        blob.SetSize(s.value);
        if (eager) blob.Flush();
        // Growing writes zeros at the end and leaves the position there.
        position = s.value > static_cast<std::int64_t>(model.size()) ? s.value : std::min(position, s.value);
        model.resize(static_cast<std::size_t>(s.value), 0);
        break;
      case Step::Read: {
        Bytes got(static_cast<std::size_t>(s.value));
        const std::int32_t n = blob.Read(got.data(), static_cast<std::int32_t>(s.value));
        const auto expected =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(model.size()) - position, 0, s.value);
        ASSERT_EQ(n, expected);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, model.begin() + position));
        position += n;
        break;
      }
    }
    ASSERT_EQ(blob.Position(), position);
  }
}

// The stored form of Model built block by block from scratch: what a BLOB
// holding these bytes must look like from its start position on.
Bytes Encoded(const Bytes& model, const TQXLBLOBDescriptor& d) {
  Bytes out;
  for (std::size_t at = 0; at < model.size(); at += static_cast<std::size_t>(d.BlockSize)) {
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(d.BlockSize, model.size() - at));
    std::vector<std::uint8_t> packed;
    std::int32_t packedSize = 0;
    EXPECT_TRUE(qxl::CompressBuffer(d.CompressionAlgorithm, d.CompressionMode, model.data() + at, n, packed, packedSize));
    TQXLCompressedStreamBlockHeader h;
    h.CompressedSize = packedSize;
    h.UncompressedSize = n;
    h.Crc32 = qxl::UpdateCrc32(0, model.data() + at, static_cast<std::uint32_t>(n));
    h.OffsetToNextHeader = packedSize + 20;
    std::uint8_t header[20];
    h.Encode(header);
    out.insert(out.end(), header, header + 20);
    out.insert(out.end(), packed.begin(), packed.begin() + packedSize);
  }
  return out;
}

}  // namespace

// Keeping the last block in memory must not change a stored byte: each pattern
// runs once with the block kept and once storing it after every call, and both
// underlying streams must match each other and a fresh encoding of the bytes.
TEST(QXLCompressedBLOBStreamStoredForm, KeepingTheLastBlockStoresTheSameBytes) {
  using S = Step;
  const std::vector<Pattern> patterns = {
      {"sequential", 100, {{S::Write, 250}}},
      {"one-byte appends", 100, {{S::WriteBytewise, 250}}, true},
      {"uneven chunks", 100, {{S::Write, 7}, {S::Write, 93}, {S::Write, 33}, {S::Write, 150}, {S::Write, 1}}},
      {"overwrite in the middle", 100,
       {{S::Write, 250}, {S::Seek, 70}, {S::Write, 10}, {S::Seek, 250}, {S::WriteBytewise, 40}}},
      {"truncate into a block, then append", 100,
       {{S::WriteBytewise, 250}, {S::SetSize, 170}, {S::WriteBytewise, 50}, {S::SetSize, 200}, {S::WriteBytewise, 30}},
       true},
      {"truncate a pending block", 100, {{S::Write, 230}, {S::SetSize, 210}, {S::SetSize, 100}, {S::Write, 5}}},
      {"seek back and read between appends", 100,
       {{S::Write, 123}, {S::Seek, 10}, {S::Read, 5}, {S::Seek, 123}, {S::WriteBytewise, 30}, {S::Seek, 0},
        {S::Read, 500}, {S::WriteBytewise, 70}, {S::Seek, 150}, {S::Read, 10}, {S::Seek, 223}, {S::Write, 3}}},
      {"gaps and extensions", 100,
       {{S::Write, 10}, {S::Seek, 199}, {S::Write, 20}, {S::SetSize, 350}, {S::Seek, 350}, {S::WriteBytewise, 9}}},
      {"one block and a byte", 64, {{S::WriteBytewise, 65}, {S::Seek, 0}, {S::Read, 65}}, true},
  };
  for (auto [alg, mode] : {std::pair{acaZLIB, 6}, {acaBZIP, 1}, {acaPPM, 1}}) {
    for (const Pattern& p : patterns) {
      if (alg != acaZLIB && !p.everyAlgorithm) continue;
      SCOPED_TRACE(std::string(p.name) + ", algorithm " + std::to_string(int{alg}));
      Bytes stored[2], model[2];
      TQXLBLOBDescriptor d[2];
      for (int eager = 0; eager < 2; ++eager) {
        TQXLMemoryStream under;
        Fill(under, Bytes(kStart, 0xEE));
        {
          TQXLCompressedBLOBStream blob(under, Descriptor(alg, static_cast<std::uint8_t>(mode), p.blockSize), true, false);
          std::int64_t position = 0;
          Apply(blob, model[eager], position, p.steps, eager == 1, 3);
          d[eager] = blob.BLOBDescriptor();
        }
        stored[eager] = ContentOf(under);
      }
      ASSERT_EQ(model[0], model[1]);
      EXPECT_EQ(d[0].NumBlocks, d[1].NumBlocks);
      EXPECT_EQ(d[0].UncompressedSize, static_cast<std::int64_t>(model[0].size()));

      // The BLOB's bytes; storing after every write could leave bytes of a
      // longer former last block behind them, which are no part of the BLOB.
      const Bytes expected = Bytes(kStart, 0xEE) + Encoded(model[0], d[0]);
      for (const Bytes& s : stored) {
        ASSERT_GE(s.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), s.begin()));
      }
      EXPECT_LE(stored[0].size(), stored[1].size());
      TQXLMemoryStream reopened;
      Fill(reopened, stored[0]);
      TQXLCompressedBLOBStream back(reopened, d[0], false, false);
      EXPECT_EQ(ReadAll(back), model[0]);
    }
  }
}

namespace {

// Counts the bytes that pass through the underlying stream.
class CountingStream : public TQXLMemoryStream {
public:
  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    const std::int32_t n = TQXLMemoryStream::Read(Buffer, Count);
    BytesRead += n;
    return n;
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const std::int32_t n = TQXLMemoryStream::Write(Buffer, Count);
    BytesWritten += n;
    return n;
  }
  std::int64_t BytesRead = 0, BytesWritten = 0;
};

}  // namespace

// Byte-wise access touches each stored block once, not once per byte.
TEST(QXLCompressedBLOBStreamStoredForm, ByteWiseAccessReadsAndWritesEachBlockOnce) {
  const Bytes data = Data(kBlock * 5 / 2, 4);
  CountingStream under;
  Fill(under, Bytes(kStart, 0xEE));
  under.BytesWritten = 0;
  TQXLBLOBDescriptor d;
  {
    TQXLCompressedBLOBStream blob(under, Descriptor(), true, false);
    for (std::uint8_t b : data) ASSERT_EQ(blob.Write(&b, 1), 1);
    d = blob.BLOBDescriptor();
  }
  const std::int64_t stored = under.Size() - kStart;
  EXPECT_EQ(under.BytesWritten, stored) << "each block stored once";
  EXPECT_EQ(under.BytesRead, 0) << "appends never read back what they keep";

  under.BytesRead = under.BytesWritten = 0;
  TQXLCompressedBLOBStream blob(under, d, false, false);
  const std::int64_t headers = under.BytesRead;
  EXPECT_EQ(headers, 3 * 20);
  Bytes back;
  std::uint8_t b = 0;
  while (blob.Read(&b, 1) == 1) back.push_back(b);
  EXPECT_EQ(back, data);
  EXPECT_EQ(under.BytesRead - headers, stored - 3 * 20) << "each block decompressed once";
  EXPECT_EQ(under.BytesWritten, 0);
}
