#include "engine/core/streams/QXLCompressedBLOBStream.h"

#include <algorithm>
#include <cstring>

#include "engine/coding/Crc32.h"
#include "engine/core/QXLException.h"

namespace qxl {

namespace {

constexpr std::int32_t kHeaderSize = TQXLCompressedStreamBlockHeader::StoredSize;
constexpr const char* kCannotSetPosition = "Cannot set stream position to %d. Position = %d, Size = %d";
constexpr const char* kSizeTooSmall = "Stream size = %d too small. Should be at least = %d";
constexpr const char* kInvalidSize = "Invalid stream size = %d. Should be = %d";

}  // namespace

TQXLCompressedBLOBStream::TQXLCompressedBLOBStream(TQXLStream& Stream, const TQXLBLOBDescriptor& BLOBDescriptor,
                                                   bool ToCreate, bool ToRepair)
    : FRepair(ToRepair),
      FCompressionMode(BLOBDescriptor.CompressionMode),
      FCompressionAlgorithm(BLOBDescriptor.CompressionAlgorithm),
      FCompressedStream(Stream),
      FBLOBDescriptor(BLOBDescriptor) {
  // Every later position is the start plus a non-negative offset; a negative
  // start is damage, whatever the underlying stream would make of it.
  if (BLOBDescriptor.StartPosition < 0)
    throw EQXLException(10103, kCannotSetPosition, {BLOBDescriptor.StartPosition, Stream.Position(), Stream.Size()});
  qxl::SetStreamPosition(Stream, 10103, BLOBDescriptor.StartPosition);
  SetBlockSize(BLOBDescriptor.BlockSize);
  FStartPosition = BLOBDescriptor.StartPosition;
  if (Compressed())
    InitCompressedStream(ToCreate);
  else
    InitUncompressedStream(ToCreate);
}

TQXLCompressedBLOBStream::~TQXLCompressedBLOBStream() {
  try {
    Flush();
  } catch (const std::exception&) {
    // A destructor has nobody to raise to; owners that must know call Flush first.
  }
}

void TQXLCompressedBLOBStream::Flush() {
  if (!FCachePending) return;
  StoreBlock(FCachedBlockNo, FCache.data(), static_cast<std::int32_t>(FCache.size()));
  FCachePending = false;
}

const std::vector<std::uint8_t>& TQXLCompressedBLOBStream::CachedBlock(std::int64_t BlockNo) {
  if (FCachedBlockNo == BlockNo) return FCache;
  Flush();
  std::vector<std::uint8_t> data = DecompressBlock(BlockNo);
  FCache = std::move(data);
  FCachedBlockNo = BlockNo;
  return FCache;
}

void TQXLCompressedBLOBStream::DropCache() {
  FCachedBlockNo = -1;
  FCachePending = false;
  FCache.clear();
}

void TQXLCompressedBLOBStream::InitUncompressedStream(bool ToCreate) {
  TQXLStream& s = FCompressedStream;
  if (s.Position() != FStartPosition)
    throw EQXLException(10079, kCannotSetPosition, {FStartPosition, s.Position(), s.Size()});
  if (ToCreate) {
    FBLOBDescriptor.UncompressedSize = 0;
  } else {
    const std::int64_t size = FBLOBDescriptor.UncompressedSize;
    const std::int64_t available = std::max<std::int64_t>(s.Size() - FStartPosition, 0);
    if (size < 0) throw EQXLException(10081, "Invalid BLOB size = %d", {size});
    if (size > available) {
      if (!FRepair) throw EQXLException(10081, kSizeTooSmall, {s.Size(), qxl::SaturatedAdd(FStartPosition, size)});
      // Repair keeps the bytes that are there.
      FBLOBDescriptor.UncompressedSize = available;
    }
  }
  FUncompressedSize = FCompressedSize = FBLOBDescriptor.UncompressedSize;
}

void TQXLCompressedBLOBStream::InitCompressedStream(bool ToCreate) {
  if (ToCreate) {
    if (FBLOBDescriptor.BlockSize == 0) FBLOBDescriptor.BlockSize = DefaultBlockSize(FCompressionMode);
    FBLOBDescriptor.NumBlocks = 0;
    FBLOBDescriptor.UncompressedSize = 0;
  }
  SetBlockSize(FBLOBDescriptor.BlockSize);
  if (BlockSize() <= 0) throw EQXLException(10080, "Invalid block size = %d", {BlockSize()});
  FUncompressedSize = FCompressedSize = 0;
  LoadBlockHeaders();
  FPosition = 0;
}

std::nullopt_t TQXLCompressedBLOBStream::StopLoading(std::int64_t NumLoaded, std::int32_t Code, const char* Message,
                                                     std::initializer_list<platform::FormatArg> Args) {
  if (!FRepair) throw EQXLException(Code, Message, Args);
  FBLOBDescriptor.NumBlocks = NumLoaded;
  FHeaders.SetSize(NumLoaded);
  FBLOBDescriptor.UncompressedSize = FUncompressedSize;
  return std::nullopt;
}

// Every header is checked against the block size and the stream before it is
// trusted, so that a damaged BLOB can neither make a read run past a block
// nor have a buffer sized from a stray number.
void TQXLCompressedBLOBStream::LoadBlockHeaders() {
  FUncompressedSize = FCompressedSize = 0;
  TQXLStream& s = FCompressedStream;
  if (s.Position() != FStartPosition)
    throw EQXLException(10080, kCannotSetPosition, {FStartPosition, s.Position(), s.Size()});
  FHeaders.SetSize(0);
  const std::int64_t numBlocks = FBLOBDescriptor.NumBlocks;
  if (numBlocks < 0) throw EQXLException(10080, "Invalid number of blocks = %d", {numBlocks});
  const std::int64_t size = s.Size();
  for (std::int64_t i = 0; i < numBlocks; ++i) {
    const std::int64_t p = s.Position();
    const auto h = ReadSoundHeader(i, p, size);
    if (!h) return;
    FUncompressedSize += h->UncompressedSize;
    FCompressedSize += h->CompressedSize;
    FHeaders.AppendItem(*h, p);
    qxl::SetStreamPosition(s, 10083, p + h->OffsetToNextHeader);
  }
}

std::optional<TQXLCompressedStreamBlockHeader> TQXLCompressedBLOBStream::ReadSoundHeader(std::int64_t BlockNo,
                                                                                         std::int64_t P,
                                                                                         std::int64_t StreamSize) {
  if (StreamSize - P < kHeaderSize)
    return StopLoading(BlockNo, 10082, kSizeTooSmall, {StreamSize, qxl::SaturatedAdd(P, kHeaderSize)});
  std::uint8_t bytes[kHeaderSize];
  qxl::ReadBufferFromStream(bytes, kHeaderSize, FCompressedStream, 10082);
  const auto h = TQXLCompressedStreamBlockHeader::Decode(bytes);

  if (h.CompressedSize < 1 || h.OffsetToNextHeader != std::int64_t{h.CompressedSize} + kHeaderSize)
    return StopLoading(BlockNo, 10083, kCannotSetPosition, {qxl::SaturatedAdd(P, h.OffsetToNextHeader), P, StreamSize});
  const bool last = BlockNo == FBLOBDescriptor.NumBlocks - 1;
  if (last ? (h.UncompressedSize < 1 || h.UncompressedSize > BlockSize()) : h.UncompressedSize != BlockSize())
    return StopLoading(BlockNo, 10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d",
                       {BlockSize(), h.UncompressedSize});
  if (StreamSize - P - kHeaderSize < h.CompressedSize)
    return StopLoading(BlockNo, 10082, kSizeTooSmall, {StreamSize, qxl::SaturatedAdd(P, h.OffsetToNextHeader)});
  return h;
}

std::vector<std::uint8_t> TQXLCompressedBLOBStream::CompressBlock(const std::uint8_t* Buffer, std::int32_t Size,
                                                                  TQXLCompressedStreamBlockHeader& Header) const {
  Header.UncompressedSize = Size;
  Header.Crc32 = qxl::UpdateCrc32(0, Buffer, static_cast<std::uint32_t>(Size));
  std::vector<std::uint8_t> out;
  std::int32_t outSize = 0;
  if (!qxl::CompressBuffer(FCompressionAlgorithm, FCompressionMode, Buffer, Size, out, outSize))
    throw EQXLException(10085, "Compress buffer failed. CompAlg = %d, CompMode = %d, InSize = %d, OutSize = %d",
                        {int{FCompressionAlgorithm}, int{FCompressionMode}, Size, outSize});
  out.resize(static_cast<std::size_t>(outSize));
  Header.CompressedSize = outSize;
  return out;
}

std::vector<std::uint8_t> TQXLCompressedBLOBStream::DecompressBlock(std::int64_t BlockNo) {
  const TQXLCompressedStreamBlockHeader h = FHeaders.Item(BlockNo);
  qxl::SetStreamPosition(FCompressedStream, 10086, FHeaders.Position(BlockNo) + kHeaderSize);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(h.CompressedSize));
  qxl::ReadBufferFromStream(data.data(), h.CompressedSize, FCompressedStream, 10086);

  std::vector<std::uint8_t> out;
  std::int32_t outSize = h.UncompressedSize;
  if (!qxl::DecompressBufferOfKnownSize(FCompressionAlgorithm, data.data(), h.CompressedSize, out, outSize))
    throw EQXLException(10087, "Decompress buffer failed. CompAlg = %d, InSize = %d, OutSize = %d",
                        {int{FCompressionAlgorithm}, h.CompressedSize, outSize});
  if (outSize != h.UncompressedSize)
    throw EQXLException(10088, "Decompress buffer failed. UncompSize = %d, Header.UncompSize = %d",
                        {outSize, h.UncompressedSize});
  out.resize(static_cast<std::size_t>(outSize));
  std::uint32_t crc = qxl::UpdateCrc32(0, out.data(), static_cast<std::uint32_t>(outSize));
  if (crc != h.Crc32)
    throw EQXLException(10089, "Decompress buffer failed. CheckSum = %d, Header.Crc32 = %d", {crc, h.Crc32});
  return out;
}

std::int32_t TQXLCompressedBLOBStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FUncompressedSize) return 0;
  auto* dest = static_cast<std::uint8_t*>(Buffer);
  if (!Compressed()) {
    auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(Count, FUncompressedSize - FPosition));
    FCompressedStream.Seek(qxl::SaturatedAdd(FStartPosition, FPosition), soBeginning);
    std::int32_t n = FCompressedStream.Read(dest, wanted);
    FPosition = OffsetInBLOB(FCompressedStream.Position());
    return n;
  }
  const std::int64_t bs = BlockSize();
  std::int64_t done = 0;
  while (FPosition < FUncompressedSize && done < Count) {
    const std::vector<std::uint8_t>& block = CachedBlock(FPosition / bs);
    const std::int64_t offset = FPosition % bs;
    const std::int64_t chunk = std::min({static_cast<std::int64_t>(block.size()) - offset, Count - done,
                                         FUncompressedSize - FPosition});
    if (chunk <= 0) throw EQXLException(10090, "Cannot read from stream. ReadSize = %d", {chunk});
    std::memcpy(dest + done, block.data() + offset, static_cast<std::size_t>(chunk));
    FPosition += chunk;
    done += chunk;
  }
  return static_cast<std::int32_t>(done);
}

std::int32_t TQXLCompressedBLOBStream::Write(const void* Buffer, std::int32_t Count) {
  auto* src = static_cast<const std::uint8_t*>(Buffer);
  if (!Compressed()) {
    if (Count <= 0 || FPosition < 0) return 0;
    FCompressedStream.Seek(qxl::SaturatedAdd(FStartPosition, FPosition), soBeginning);
    std::int32_t n = FCompressedStream.Write(src, Count);
    FUncompressedSize = OffsetInBLOB(FCompressedStream.Size());
    FPosition = OffsetInBLOB(FCompressedStream.Position());
    FBLOBDescriptor.UncompressedSize = FUncompressedSize;
    return n;
  }
  if (Count <= 0 || FPosition < FUncompressedSize) return 0;
  CheckCompressedSize(qxl::SaturatedAdd(FPosition, Count));
  if (FPosition > FUncompressedSize) FillToPosition();

  const std::int64_t done = CompleteLastBlock(src, Count);
  if (done < Count) AppendBlocks(src, done, Count);
  return Count;
}

void TQXLCompressedBLOBStream::Grow(std::int64_t Count) {
  FUncompressedSize += Count;
  FPosition = FUncompressedSize;
  FBLOBDescriptor.NumBlocks = FHeaders.ItemCount();
  FBLOBDescriptor.UncompressedSize = FUncompressedSize;
}

std::int64_t TQXLCompressedBLOBStream::CompleteLastBlock(const std::uint8_t* Buffer, std::int64_t Count) {
  const std::int64_t o = FUncompressedSize % BlockSize();
  if (o == 0) return 0;
  CachedBlock(FHeaders.ItemCount() - 1);
  const std::int64_t taken = std::min<std::int64_t>(BlockSize() - o, Count);
  FCache.resize(static_cast<std::size_t>(o));
  FCache.insert(FCache.end(), Buffer, Buffer + taken);
  FCachePending = true;
  Grow(taken);
  // A full block is stored at once: the next block's position depends on it.
  if (o + taken == BlockSize()) Flush();
  return taken;
}

void TQXLCompressedBLOBStream::AppendBlocks(const std::uint8_t* Buffer, std::int64_t Done, std::int64_t Count) {
  Flush();
  const std::int64_t bs = BlockSize();
  while (Done < Count) {
    const std::int64_t n = std::min<std::int64_t>(bs, Count - Done);
    const std::int64_t blockNo = FHeaders.ItemCount();
    FHeaders.AppendItem({}, NextBlockPosition());
    try {
      if (n == bs) {
        StoreBlock(blockNo, Buffer + Done, static_cast<std::int32_t>(n));
      } else {
        DropCache();
        FCache.assign(Buffer + Done, Buffer + Count);
        FCachedBlockNo = blockNo;
        FCachePending = true;
      }
    } catch (...) {
      FHeaders.SetSize(blockNo);
      throw;
    }
    Grow(n);
    Done += n;
  }
}

std::int64_t TQXLCompressedBLOBStream::NextBlockPosition() const {
  const std::int64_t n = FHeaders.ItemCount();
  return n == 0 ? FStartPosition : FHeaders.Position(n - 1) + FHeaders.Item(n - 1).OffsetToNextHeader;
}

void TQXLCompressedBLOBStream::WriteHeader(const TQXLCompressedStreamBlockHeader& Header, std::int32_t Code) {
  std::uint8_t bytes[kHeaderSize];
  Header.Encode(bytes);
  qxl::WriteBufferToStream(bytes, kHeaderSize, FCompressedStream, Code);
}

void TQXLCompressedBLOBStream::StoreBlock(std::int64_t BlockNo, const std::uint8_t* Buffer, std::int32_t Size) {
  TQXLCompressedStreamBlockHeader h = FHeaders.Item(BlockNo);
  std::vector<std::uint8_t> data = CompressBlock(Buffer, Size, h);
  h.OffsetToNextHeader = std::int64_t{h.CompressedSize} + kHeaderSize;
  qxl::SetStreamPosition(FCompressedStream, 10099, FHeaders.Position(BlockNo));
  WriteHeader(h, 10100);
  qxl::WriteBufferToStream(data.data(), h.CompressedSize, FCompressedStream, 10101);
  FHeaders.Item(BlockNo) = h;
}

void TQXLCompressedBLOBStream::FillToPosition() {
  const std::int64_t target = FPosition;
  InternalSetSize(target);
  if (FPosition != target) throw EQXLException(10091, kCannotSetPosition, {target, FPosition, FUncompressedSize});
  if (FUncompressedSize != target) throw EQXLException(10092, kInvalidSize, {FUncompressedSize, target});
}

std::int64_t TQXLCompressedBLOBStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  // Any other origin keeps the position.
  const auto base = SeekBase(Origin, FPosition, [this] { return FUncompressedSize; });
  const std::int64_t before = FPosition;
  InternalSetPosition(base ? qxl::SaturatedAdd(*base, Offset) : FPosition);
  // A seek means random access: what is read next comes from the stored bytes
  // again, which another stream over them may have changed. Pending bytes are
  // this stream's own and stay.
  if (FPosition != before && !FCachePending) DropCache();
  return FPosition;
}

void TQXLCompressedBLOBStream::InternalSetPosition(std::int64_t Position) {
  if (Compressed()) {
    FPosition = Position;
    return;
  }
  FCompressedStream.Seek(qxl::SaturatedAdd(FStartPosition, Position), soBeginning);
  FPosition = OffsetInBLOB(FCompressedStream.Position());
}

void TQXLCompressedBLOBStream::SetSize(std::int64_t NewSize) { InternalSetSize(NewSize); }

void TQXLCompressedBLOBStream::InternalSetSize(std::int64_t NewSize) {
  if (NewSize < 0) throw EQXLException(10093, kInvalidSize, {NewSize, 0});
  if (Compressed()) {
    if (NewSize > FUncompressedSize) {
      CheckCompressedSize(NewSize);
      ExtendTo(NewSize);
    } else if (NewSize < FUncompressedSize) {
      TruncateTo(NewSize);
    }
  } else {
    if (NewSize > INT64_MAX - FStartPosition)
      throw EQXLException(10093, kInvalidSize, {NewSize, INT64_MAX - FStartPosition});
    const std::int64_t end = FStartPosition + NewSize;
    FCompressedStream.SetSize(end);
    if (FCompressedStream.Size() != end) throw EQXLException(10093, kInvalidSize, {FCompressedStream.Size(), end});
  }
  FUncompressedSize = NewSize;
  FBLOBDescriptor.UncompressedSize = NewSize;
  if (FPosition > NewSize) InternalSetPosition(NewSize);
}

void TQXLCompressedBLOBStream::CheckCompressedSize(std::int64_t NewSize) const {
  // Block numbers are 32-bit in the stored descriptors.
  const std::int64_t limit = std::int64_t{BlockSize()} * INT32_MAX;
  if (NewSize > limit)
    throw EQXLException(10098, "Invalid extension size. NewSize = %d, UncompressedSize = %d, ExtensionSize = %d",
                        {NewSize, FUncompressedSize, qxl::SaturatedAdd(NewSize, -FUncompressedSize)});
}

void TQXLCompressedBLOBStream::ExtendTo(std::int64_t NewSize) {
  InternalSetPosition(FUncompressedSize);
  std::int64_t extension = NewSize - FUncompressedSize;
  if (extension <= 0)
    throw EQXLException(10098, "Invalid extension size. NewSize = %d, UncompressedSize = %d, ExtensionSize = %d",
                        {NewSize, FUncompressedSize, extension});
  // Never more zeros at once than one chunk needs: a block size alone must
  // not decide how much memory a small extension takes.
  const std::int64_t chunk = std::min<std::int64_t>(BlockSize(), extension);
  const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(chunk), 0);
  while (extension > 0) {
    auto n = static_cast<std::int32_t>(std::min(chunk, extension));
    std::int32_t written = Write(zeros.data(), n);
    if (written != n)
      throw EQXLException(10097,
                          "Cannot write to stream. Position = %d, Stream size = %d, Block size = %d, Bytes Write = %d",
                          {FPosition, FUncompressedSize, n, written});
    extension -= n;
  }
}

void TQXLCompressedBLOBStream::TruncateTo(std::int64_t NewSize) {
  // The cut is written as it always was: the pending block first, then the
  // new last block over its old place.
  Flush();
  const std::int64_t bs = BlockSize();
  const std::int64_t k = NewSize / bs, r = NewSize % bs;
  std::vector<std::uint8_t> data;
  TQXLCompressedStreamBlockHeader h;
  if (r > 0) {
    h = FHeaders.Item(k);
    data = CompressBlock(CachedBlock(k).data(), static_cast<std::int32_t>(r), h);
  }
  DropCache();
  const std::int64_t kept = r > 0 ? k + 1 : k;
  FBLOBDescriptor.NumBlocks = kept;
  FHeaders.SetSize(kept);
  if (r == 0) return;

  TQXLStream& s = FCompressedStream;
  const std::int64_t pos = FHeaders.Position(k);
  s.SetSize(pos);
  if (s.Size() != pos) throw EQXLException(10093, kInvalidSize, {s.Size(), pos});
  s.Seek(pos, soBeginning);
  if (s.Position() != pos) throw EQXLException(10094, kCannotSetPosition, {pos, s.Position(), s.Size()});
  h.OffsetToNextHeader = std::int64_t{h.CompressedSize} + kHeaderSize;
  FHeaders.Item(k) = h;
  std::uint8_t bytes[kHeaderSize];
  h.Encode(bytes);
  if (s.Write(bytes, kHeaderSize) != kHeaderSize) throw EQXLException(10095, "Error writing to stream");
  if (s.Write(data.data(), h.CompressedSize) != h.CompressedSize) throw EQXLException(10096, "Error writing to stream");
}

void TQXLCompressedBLOBStream::CalcCompressionRate() {
  if (Compressed() && FUncompressedSize > 0) {
    FCompressedSize = 0;
    for (std::int64_t i = 0; i < FHeaders.ItemCount(); ++i) FCompressedSize += FHeaders.Item(i).CompressedSize;
    FCompressionRate = (1.0 - static_cast<double>(FCompressedSize) / static_cast<double>(FUncompressedSize)) * 100.0;
  } else {
    FCompressedSize = FUncompressedSize;
    FCompressionRate = 0;
  }
}

double TQXLCompressedBLOBStream::CompressionRate() {
  Flush();
  CalcCompressionRate();
  return FCompressionRate;
}

}  // namespace qxl
