#pragma once
// The stored form of a BLOB value: the value cut into blocks of a fixed
// uncompressed size, each compressed by itself and written as a 20-byte
// header and its compressed bytes, one after another from a start position
// of an underlying stream. With algorithm 0 the bytes are stored as they are.
// A compressed BLOB grows only at its end; reads decompress the blocks they touch.
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/core/QXLCompressedStreamBlockHeaders.h"
#include "engine/core/QXLStream.h"

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

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  // A compressed BLOB takes bytes only at or past its end (a gap is filled
  // with zeros); elsewhere the write returns 0.
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(std::int64_t NewSize) override;
  std::int64_t GetSize() override { return FUncompressedSize; }

  TQXLStream& CompressedStream() const { return FCompressedStream; }
  TQXLCompressionAlgorithm CompressionAlgorithm() const { return FCompressionAlgorithm; }
  std::uint8_t CompressionMode() const { return FCompressionMode; }
  const TQXLBLOBDescriptor& BLOBDescriptor() const { return FBLOBDescriptor; }
  // The size of the underlying stream, headers included.
  std::int64_t CompressedSize() const { return FCompressedStream.Size(); }
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
  void CalcCompressionRate();
  void InternalSetPosition(std::int64_t Position);
  void InternalSetSize(std::int64_t NewSize);
  // Raises 10098 for a size whose blocks could not be numbered.
  void CheckCompressedSize(std::int64_t NewSize) const;
  void ExtendTo(std::int64_t NewSize);
  void TruncateTo(std::int64_t NewSize);
  void FillToPosition();
  void RewriteCurrentBlock(const std::uint8_t* Buffer, std::int32_t Size);
  // When the BLOB ends inside its last block, fills that block from Buffer and
  // stores it again; returns the bytes taken.
  std::int64_t CompleteLastBlock(const std::uint8_t* Buffer, std::int64_t Count);
  // Stores bytes Done to Count of Buffer as new blocks after the last one.
  void AppendBlocks(const std::uint8_t* Buffer, std::int64_t Done, std::int64_t Count);
  void PrepareAppend(std::int64_t Count, std::int64_t Done);
  void WriteHeader(const TQXLCompressedStreamBlockHeader& Header, std::int32_t Code);

  bool FRepair;
  TQXLCompressedStreamBlockHeadersArray FHeaders;
  std::int64_t FUncompressedSize = 0;
  std::int64_t FCompressedSize = 0;
  std::int64_t FStartPosition = 0;
  std::int64_t FCurrentHeader = 0;
  std::int64_t FPosition = 0;
  std::uint8_t FCompressionMode;
  TQXLCompressionAlgorithm FCompressionAlgorithm;
  double FCompressionRate = 0;
  TQXLStream& FCompressedStream;
  TQXLBLOBDescriptor FBLOBDescriptor;
};
