#pragma once
// The stored form of a BLOB value: the value cut into blocks of a fixed
// uncompressed size, each compressed by itself and written as a 20-byte
// header and its compressed bytes, one after another from a start position
// of an underlying stream. With algorithm 0 the bytes are stored as they are.
// A compressed BLOB grows only at its end; reads decompress the blocks they touch.
//
// The stream keeps the last block it decompressed, so that small sequential
// reads and appends cost a copy instead of a whole block each time. A last
// block that is not yet full is stored only when it fills, when another block
// is read, when the BLOB is cut, when its stored form is asked for (the
// descriptor, the underlying stream, the compressed size or rate), on Flush,
// and when the stream is closed. The stored bytes are the same as if every
// write had stored it at once.
//
// Thread rule: one thread at a time.
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/core/streams/QXLCompressedStreamBlockHeaders.h"
#include "engine/core/streams/QXLStream.h"

namespace qxl {

// Describes one BLOB to the stream and receives its new state.
struct TQXLBLOBDescriptor {
  std::int32_t BlockSize = 0;  // uncompressed bytes per block
  std::int64_t NumBlocks = 0;
  std::int64_t UncompressedSize = 0;
  std::int64_t StartPosition = 0;  // of the first block in the underlying stream
  TQXLCompressionAlgorithm CompressionAlgorithm = acaNone;
  std::uint8_t CompressionMode = 0;
  std::uint16_t Reserved = 0;
};

class TQXLCompressedBLOBStream : public TQXLStream {
public:
  // Opens the BLOB that BLOBDescriptor describes in Stream, which the caller
  // keeps owning. ToCreate starts a new, empty BLOB there; ToRepair opens a
  // BLOB whose end is cut off or damaged with its sound blocks only.
  TQXLCompressedBLOBStream(TQXLStream& Stream, const TQXLBLOBDescriptor& BLOBDescriptor, bool ToCreate,
                           bool ToRepair);
  // Stores a pending last block; a failure there is lost, as a destructor
  // cannot raise: call Flush first to see it.
  ~TQXLCompressedBLOBStream() override;

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  // A compressed BLOB takes bytes only at or past its end (a gap is filled
  // with zeros); elsewhere the write returns 0.
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override { return FUncompressedSize; }

  // Stores the pending last block, so that the underlying stream holds the
  // whole BLOB. Raises as a write does.
  void Flush();

  // These give the stored form, so they flush first.
  TQXLStream& CompressedStream() {
    Flush();
    return FCompressedStream;
  }
  const TQXLBLOBDescriptor& BLOBDescriptor() {
    Flush();
    return FBLOBDescriptor;
  }
  // The size of the underlying stream, headers included.
  std::int64_t CompressedSize() {
    Flush();
    return FCompressedStream.Size();
  }
  TQXLCompressionAlgorithm CompressionAlgorithm() const { return FCompressionAlgorithm; }
  std::uint8_t CompressionMode() const { return FCompressionMode; }
  // Percent saved by compression; 0 for an empty or uncompressed BLOB.
  double CompressionRate();

  static std::int32_t DefaultBlockSize(std::uint8_t Mode) { return qxl::CompressedBlockSize(Mode); }

private:
  bool Compressed() const { return FCompressionAlgorithm != acaNone; }
  // An underlying position as an offset into the BLOB (FStartPosition is never negative).
  std::int64_t OffsetInBLOB(std::int64_t Underlying) const { return qxl::SaturatedAdd(Underlying, -FStartPosition); }
  void InitCompressedStream(bool ToCreate);
  void InitUncompressedStream(bool ToCreate);
  void LoadBlockHeaders();
  // The header of block BlockNo, at P of a stream of StreamSize bytes, once it
  // is found sound: sizes that fit the block size, a block inside the stream.
  std::optional<TQXLCompressedStreamBlockHeader> ReadSoundHeader(std::int64_t BlockNo, std::int64_t P,
                                                                 std::int64_t StreamSize);
  // Ends the BLOB before block NumLoaded (repair) or raises Code with Message.
  std::nullopt_t StopLoading(std::int64_t NumLoaded, std::int32_t Code, const char* Message,
                             std::initializer_list<platform::FormatArg> Args);
  // The compressed bytes of Size bytes of Buffer; fills Header's sizes and CRC.
  std::vector<std::uint8_t> CompressBlock(const std::uint8_t* Buffer, std::int32_t Size,
                                          TQXLCompressedStreamBlockHeader& Header) const;
  std::vector<std::uint8_t> DecompressBlock(std::int64_t BlockNo);
  // The bytes of block BlockNo, from the cache or decompressed into it.
  const std::vector<std::uint8_t>& CachedBlock(std::int64_t BlockNo);
  void DropCache();
  void CalcCompressionRate();
  void InternalSetPosition(std::int64_t Position);
  void InternalSetSize(std::int64_t NewSize);
  // Raises 10098 for a size whose blocks could not be numbered.
  void CheckCompressedSize(std::int64_t NewSize) const;
  void ExtendTo(std::int64_t NewSize);
  void TruncateTo(std::int64_t NewSize);
  void FillToPosition();
  // Counts Count more bytes written at the end.
  void Grow(std::int64_t Count);
  // Stores Size bytes of Buffer as block BlockNo at its position; the header
  // in FHeaders changes only once the block is written.
  void StoreBlock(std::int64_t BlockNo, const std::uint8_t* Buffer, std::int32_t Size);
  // When the BLOB ends inside its last block, adds bytes of Buffer to that
  // block in the cache; returns the bytes taken.
  std::int64_t CompleteLastBlock(const std::uint8_t* Buffer, std::int64_t Count);
  // Adds bytes Done to Count of Buffer as new blocks after the last one; full
  // blocks are stored at once, a partial one stays pending in the cache.
  void AppendBlocks(const std::uint8_t* Buffer, std::int64_t Done, std::int64_t Count);
  // Where a block after the last stored one begins.
  std::int64_t NextBlockPosition() const;
  void WriteHeader(const TQXLCompressedStreamBlockHeader& Header, std::int32_t Code);

  bool FRepair;
  TQXLCompressedStreamBlockHeadersArray FHeaders;
  std::int64_t FUncompressedSize = 0;
  std::int64_t FCompressedSize = 0;
  std::int64_t FStartPosition = 0;
  std::int64_t FPosition = 0;
  // The last block decompressed (-1: none) and its bytes; pending when it is
  // the last block and holds bytes not yet stored.
  std::int64_t FCachedBlockNo = -1;
  std::vector<std::uint8_t> FCache;
  bool FCachePending = false;
  std::uint8_t FCompressionMode;
  TQXLCompressionAlgorithm FCompressionAlgorithm;
  double FCompressionRate = 0;
  TQXLStream& FCompressedStream;
  TQXLBLOBDescriptor FBLOBDescriptor;
};

}  // namespace qxl
