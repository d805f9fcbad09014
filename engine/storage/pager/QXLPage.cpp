#include "engine/storage/pager/QXLPage.h"

#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskFormat.h"
#include "engine/storage/pager/QXLPageBuffer.h"
#include "engine/storage/pager/QXLPageManager.h"

namespace qxl {

TQXLPage::TQXLPage(TQXLPageManager* PageManager) : LPageManager(PageManager) {}

TQXLPage::~TQXLPage() {
  // A destructor cannot report a damaged block; the block is freed all the same.
  try {
    if (FOwnBuffer) FreeAndNilPageBuffer();
  } catch (...) {
  }
}

void TQXLPage::MakeWritable() { LPageManager->MakeWritable(this); }

std::uint16_t TQXLPage::PageSize() const { return LPageManager->PageSize(); }
std::uint16_t TQXLPage::PageHeaderSize() const { return LPageManager->PageHeaderSize(); }
std::uint8_t* TQXLPage::PageData() const { return FPageBuffer + PageHeaderSize(); }
std::uint16_t TQXLPage::PageDataSize() const { return LPageManager->PageDataSize(); }

namespace {

// Header fields lie unaligned in the buffer.
template <typename T>
T LoadAt(const std::uint8_t* At) {
  T Value;
  std::memcpy(&Value, At, sizeof Value);
  return Value;
}

template <typename T>
void StoreAt(std::uint8_t* At, T Value) {
  std::memcpy(At, &Value, sizeof Value);
}

}  // namespace

std::int32_t TQXLPage::HeaderState() const { return LoadAt<std::int32_t>(FPageBuffer + QXLPageHeaderStateOffset); }
void TQXLPage::SetHeaderState(std::int32_t Value) { StoreAt(FPageBuffer + QXLPageHeaderStateOffset, Value); }
std::uint16_t TQXLPage::HeaderPageType() const {
  return LoadAt<std::uint16_t>(FPageBuffer + QXLPageHeaderTypeOffset);
}
void TQXLPage::SetHeaderPageType(std::uint16_t Value) { StoreAt(FPageBuffer + QXLPageHeaderTypeOffset, Value); }

void TQXLPage::AllocPageBuffer() {
  if (FOwnBuffer) FreeAndNilPageBuffer();
  FPageBuffer = QXLAllocPageMemory(PageSize());
  FOwnBuffer = true;
  InitHeader();
}

void TQXLPage::InitHeader() {
  if (!FPageBuffer || PageHeaderSize() < sizeof(TQXLDiskPageHeader)) return;
  TQXLDiskPageHeader Header;
  std::memcpy(&Header, FPageBuffer, sizeof Header);  // keeps the reserved bytes
  std::memcpy(Header.Signature, "QXLP", 4);
  Header.State = 0;
  Header.PageType = ptUnknown;
  Header.NextPageNo = -1;
  Header.CRC32 = 0;
  Header.CRCType = Header.HashType = Header.Cipherype = Header.MACType = 0;
  Header.ObjectID = -1;
  Header.RecordID = {-1, 0};
  std::memcpy(FPageBuffer, &Header, sizeof Header);
}

void TQXLPage::ClearPageBuffer() {
  if (FPageBuffer) std::memset(FPageBuffer, 0, PageSize());
}

void TQXLPage::FreeAndNilPageBuffer() {
  std::uint8_t* Buffer = FPageBuffer;
  FPageBuffer = nullptr;
  if (Buffer) QXLFreePageMemory(Buffer);
}

void TQXLPage::EnlargePageBuffer(std::int32_t NewSize) {
  if (!FPageBuffer) throw EQXLException(20038, "Invalid page buffer. Buffer is Nil");
  if (NewSize < PageSize()) throw EQXLException(20039, "Invalid page modification");
  if (FOwnBuffer) {
    QXLReallocPageMemory(FPageBuffer, NewSize);
    return;
  }
  std::uint8_t* Copy = QXLAllocPageMemory(NewSize);
  std::memcpy(Copy, FPageBuffer, PageSize());
  FPageBuffer = Copy;
  FOwnBuffer = true;
}

void TQXLPage::Synchronize() {
  if (!LPageManager->MultiUser()) return;
  std::int32_t Stored;
  if (!LPageManager->ReadStoredPageState(FPageNo, Stored)) return;
  if (Stored == QXLRemovedPageState || Stored == HeaderState())
    SetHeaderState(Stored);
  else
    LPageManager->InternalReadPage(this);
}

bool TQXLPage::GetTableState(std::int32_t SessionID, std::int32_t& TableID, std::int32_t& TableState) const {
  const std::size_t Index = static_cast<std::size_t>(SessionID + 2);
  if (SessionID + 2 < 0 || Index >= FTableStates.size()) return false;
  TableID = FTableStates[Index].TableID;
  TableState = FTableStates[Index].TableState;
  return FTableStates[Index].IsTableStateValueAssigned;
}

void TQXLPage::SetTableState(std::int32_t SessionID, std::int32_t TableID, std::int32_t TableState) {
  if (SessionID + 2 < 0) return;
  const std::size_t Index = static_cast<std::size_t>(SessionID + 2);
  if (Index >= FTableStates.size()) FTableStates.resize(Index + 1);
  FTableStates[Index] = {TableID, TableState, true};
}

}  // namespace qxl
