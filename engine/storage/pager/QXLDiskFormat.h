#pragma once
// The stored records of a database file: database header, crypto header,
// locked bytes and the 40-byte page header, packed and little endian, plus the
// page types and the page-state rules shared by every reader and writer.
#include <bit>
#include <cstdint>
#include <string>

#include "engine/core/containers/QXLPageItemID.h"

namespace qxl {

static_assert(std::endian::native == std::endian::little,
              "the stored records are read and written as they lie in memory");

inline constexpr char QXLDatabaseSignature[] = "OSTRELDBDATABASE";
inline constexpr int QXLDatabaseSignatureSize = 16;
inline constexpr double QXLDatabaseVersion = 7.8;
// Files older than this are reported as needing repair.
inline constexpr double QXLMinimumCleanVersion = 2.99;

inline constexpr std::uint16_t QXLDefaultPageSize = 4096;
inline constexpr std::uint16_t QXLDefaultPageCountInExtent = 8;
inline constexpr std::uint16_t QXLDiskPageHeaderSize = 40;

// Page states: a written page carries 0 .. QXLMaxPageState; a commit marks a
// released page with QXLRemovedPageState.
inline constexpr std::int32_t QXLMaxPageState = 0x7FFFFFFC;
inline constexpr std::int32_t QXLPageStateWrap = 0x7FFFFFFD;
inline constexpr std::int32_t QXLRemovedPageState = 0x7FFFFFFF;
inline constexpr std::int32_t QXLNewPageStateLimit = 0x3FFFFFFF;

inline constexpr std::uint8_t QXLWriteChangesWriting = 1;
inline constexpr std::uint8_t QXLWriteChangesDone = 2;

#pragma pack(push, 1)

struct TQXLDBHeader {
  char Signature[16];
  std::int16_t HeaderSize;
  double Version;
  std::uint16_t PageSize;
  std::uint16_t PageCountInExtent;
  std::int32_t TotalPageCount;
  std::int32_t LastUsedPageNo;
  std::int32_t State;
  std::uint8_t WriteChangesState;
  std::uint8_t Encrypted;
  std::uint8_t Reserved[32];
};

struct TQXLCryptoHeader {
  std::int16_t CryptoHeaderSize;
  std::uint8_t CryptoAlgorithm;
  std::uint8_t CryptoMode;
  std::uint8_t ControlBlock[256];
  std::uint32_t ControlBlockCRC;
  std::uint8_t Reserverd[16];
};

// Apart from the size, each byte is only the target of a one-byte lock.
struct TQXLLockedBytes {
  std::int16_t LockedByteSize;
  std::uint8_t FSMByte;
  std::uint8_t TablesByte;
  std::uint8_t DBHeaderByte;
  std::uint8_t Reserved[15];
};

struct TQXLDiskPageHeader {
  char Signature[4];
  std::int32_t State;
  std::uint16_t PageType;
  std::int32_t NextPageNo;
  std::uint32_t CRC32;
  std::uint8_t CRCType;
  std::uint8_t HashType;
  std::uint8_t Cipherype;
  std::uint8_t MACType;
  std::int32_t ObjectID;
  TQXLPageItemID RecordID;
  std::uint8_t Reserved[8];
};

#pragma pack(pop)

static_assert(sizeof(TQXLDBHeader) == 76);
static_assert(sizeof(TQXLCryptoHeader) == 280);
static_assert(sizeof(TQXLLockedBytes) == 20);
static_assert(sizeof(TQXLDiskPageHeader) == QXLDiskPageHeaderSize);

// Offsets of the fields the page layer touches directly.
inline constexpr int QXLPageHeaderStateOffset = 4;
inline constexpr int QXLPageHeaderTypeOffset = 8;
inline constexpr int QXLControlBlockSize = 256;

// Positions of the lock targets inside the locked bytes.
inline constexpr int QXLFSMByteOffset = 2;
inline constexpr int QXLTablesByteOffset = 3;
inline constexpr int QXLDBHeaderByteOffset = 4;

enum : std::uint16_t {
  ptUnknown = 0,
  ptEmpty = 1,
  ptEAM = 2,
  ptPFS = 3,
  ptFileSystemDirectory = 4,
  ptActiveSessionList = 5,
  ptTableList = 6,
  ptTableLocks = 7,
  ptTableMetaData = 8,
  ptTableMostUpdated = 9,
  ptTableRecord = 10,
  ptTableBlob = 11,
  ptTableIndex = 12,
  ptLastKnown = ptTableIndex,
  // Only in a request: accepts any stored type.
  ptAny = 255,
};

// The name error messages show for a page type; a type above 12 raises 30382.
std::string GetPageTypeName(std::uint16_t PageType);

// The next state of a page that is written: one up, wrapping to 0, and never
// one of the two states that no valid page carries.
std::int32_t NextPageState(std::int32_t State);

}  // namespace qxl
