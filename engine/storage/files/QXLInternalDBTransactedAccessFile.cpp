#include "engine/storage/files/QXLInternalDBTransactedAccessFile.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/core/QXLException.h"
#include "engine/storage/pager/QXLDiskPageManager.h"
#include "engine/storage/pager/QXLPageHold.h"

namespace qxl {

namespace {

void CheckSize(std::int32_t Size) {
  if (Size < 0) throw EQXLException(20304, "Invalid internal file size: %d", {Size});
}

// Sets the page manager's flag for the life of the guard.
class TIgnoreCRCErrors {
public:
  explicit TIgnoreCRCErrors(TQXLPageManager& PageManager)
      : FPageManager(PageManager), FSaved(PageManager.IgnoreCRCErrors()) {
    PageManager.SetIgnoreCRCErrors(true);
  }
  ~TIgnoreCRCErrors() { FPageManager.SetIgnoreCRCErrors(FSaved); }
  TIgnoreCRCErrors(const TIgnoreCRCErrors&) = delete;
  TIgnoreCRCErrors& operator=(const TIgnoreCRCErrors&) = delete;

private:
  TQXLPageManager& FPageManager;
  bool FSaved;
};

}  // namespace

TQXLInternalDBTransactedAccessFile::TQXLInternalDBTransactedAccessFile(TQXLDiskPageManager& PageManager,
                                                                       std::uint16_t PageTypeID)
    : LPageManager(PageManager), FPageTypeID(PageTypeID) {}

void TQXLInternalDBTransactedAccessFile::CheckOpen(const char* Operation) const {
  if (FStartPageNo == -1)
    throw EQXLException(30389, "Cannot perform this operation (%s) on closed internal file", {Operation});
}

void TQXLInternalDBTransactedAccessFile::CreateFile(std::int32_t SessionID) {
  if (FStartPageNo != -1)
    throw EQXLException(30383, "Cannot create Internal file. File already exists. StartPageNo=%d", {FStartPageNo});
  TQXLPageHold Page(LPageManager, LPageManager.AddPage(SessionID, FPageTypeID));
  qxl::StoreFileHeader(*Page, qxl::EmptyFileHeader());
  FStartPageNo = Page->PageNo();
}

void TQXLInternalDBTransactedAccessFile::OpenFile(std::int32_t StartPageNo) {
  if (StartPageNo != -1) FStartPageNo = StartPageNo;
}

void TQXLInternalDBTransactedAccessFile::DeleteFile(std::int32_t SessionID, std::int32_t StartPageNo) {
  if (StartPageNo != -1) FStartPageNo = StartPageNo;
  if (FStartPageNo == -1) return;
  qxl::TQXLChainWalk Walk(LPageManager, FStartPageNo);
  std::int32_t PageNo = FStartPageNo;
  do {
    std::int32_t Next;
    {
      TQXLPageHold Page(LPageManager, LPageManager.GetPage(SessionID, PageNo, FPageTypeID, true));
      Next = qxl::NextPageOf(*Page);
    }
    LPageManager.RemovePage(SessionID, PageNo);
    PageNo = Next;
  } while (Walk.Follow(PageNo));
  FStartPageNo = -1;
}

void TQXLInternalDBTransactedAccessFile::InitFileHeader(std::int32_t SessionID) {
  if (FStartPageNo == -1) throw EQXLException(20301, "Invalid page number");
  TIgnoreCRCErrors Ignore(LPageManager);
  TQXLPageHold Page(LPageManager, LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID, true));
  Page->MakeWritable();
  Page->InitHeader();
  Page->SetHeaderPageType(FPageTypeID);
  qxl::StoreFileHeader(*Page, qxl::EmptyFileHeader());
}

void TQXLInternalDBTransactedAccessFile::ExtendChain(std::int32_t SessionID, std::int32_t Need) {
  // A chain that once held a longer content still has those pages: they are
  // used first, so that no page is ever cut off the chain without being freed.
  qxl::TQXLChainWalk Walk(LPageManager, FStartPageNo);
  TQXLPage* Last = LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID, true);
  try {
    for (std::int32_t k = 1; k < Need; ++k) {
      const std::int32_t Next = qxl::NextPageOf(*Last);
      TQXLPage* Following;
      if (Walk.Follow(Next)) {
        Following = LPageManager.GetPage(SessionID, Next, FPageTypeID, true);
      } else {
        Following = LPageManager.AddPage(SessionID, FPageTypeID);
        qxl::SetNextPageOf(*Following, -1);
        qxl::SetNextPageOf(*Last, Following->PageNo());
      }
      LPageManager.PutPage(Last);
      Last = Following;
    }
  } catch (...) {
    LPageManager.PutPage(Last);
    throw;
  }
  LPageManager.PutPage(Last);
}

void TQXLInternalDBTransactedAccessFile::SetFileSize(std::int32_t SessionID, std::int32_t NewSize,
                                                     std::int32_t DecompressedSize,
                                                     TQXLCompressionAlgorithm CompressionAlgorithm) {
  CheckOpen("SetSize");
  CheckSize(NewSize);
  const std::int32_t D = LPageManager.PageDataSize();
  std::int32_t Old;
  {
    TQXLPageHold Start(LPageManager, LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID, true));
    Old = qxl::LoadFileHeader(*Start).StoredSize;
  }
  if (Old < 0) Old = NewSize;
  const std::int32_t Have = qxl::InternalFilePagesNeeded(Old, D), Need = qxl::InternalFilePagesNeeded(NewSize, D);
  if (Need > Have) ExtendChain(SessionID, Need);
  TQXLPageHold Start(LPageManager, LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID, true));
  qxl::StoreFileHeader(*Start, {qxl::InternalFileHeaderSize, NewSize, DecompressedSize,
                                static_cast<std::uint8_t>(CompressionAlgorithm)});
}

void TQXLInternalDBTransactedAccessFile::GetFileSize(std::int32_t SessionID, std::int32_t& Size,
                                                     std::int32_t& DecompressedSize,
                                                     TQXLCompressionAlgorithm& CompressionAlgorithm,
                                                     bool& FileWasChanged, bool SyncronizeAllowed) {
  CheckOpen("GetSize");
  TQXLPageHold Start(LPageManager, LPageManager.GetPage(SessionID, FStartPageNo, FPageTypeID, SyncronizeAllowed));
  const qxl::TQXLInternalFileHeader Header = qxl::LoadFileHeader(*Start);
  Size = Header.StoredSize;
  DecompressedSize = Header.UncompressedSize;
  CompressionAlgorithm = static_cast<TQXLCompressionAlgorithm>(Header.Algorithm);
  FileWasChanged = Start->Reloaded();
}

std::int32_t TQXLInternalDBTransactedAccessFile::GetSize(std::int32_t SessionID) {
  std::int32_t Size, DecompressedSize;
  TQXLCompressionAlgorithm Algorithm;
  bool Changed;
  GetFileSize(SessionID, Size, DecompressedSize, Algorithm, Changed, true);
  return DecompressedSize;
}

std::int32_t TQXLInternalDBTransactedAccessFile::ReadStored(std::int32_t SessionID, std::int32_t Target,
                                                            bool SynchronizeAllowed, const TSink& Sink) {
  qxl::TQXLChainWalk Walk(LPageManager, FStartPageNo);
  std::int32_t Done = 0, Offset = qxl::InternalFileHeaderSize, PageNo = FStartPageNo;
  for (;;) {
    std::int32_t Next;
    {
      TQXLPageHold Page(LPageManager, LPageManager.GetPage(SessionID, PageNo, FPageTypeID, SynchronizeAllowed));
      const std::int32_t Part = std::min<std::int32_t>(Page->PageDataSize() - Offset, Target - Done);
      Sink(Page->PageData() + Offset, Part);
      Done += Part;
      Next = qxl::NextPageOf(*Page);
    }
    if (Done >= Target || !Walk.Follow(Next)) return Done;
    PageNo = Next;
    Offset = 0;
  }
}

std::vector<std::uint8_t> TQXLInternalDBTransactedAccessFile::ReadStoredBytes(std::int32_t SessionID,
                                                                              std::int32_t Target,
                                                                              bool SynchronizeAllowed) {
  if (Target < 0) qxl::RaiseDamagedFile(FStartPageNo, "stored size");
  // The buffer grows with the pages read, so that a damaged size is found by
  // the walk and never sizes a buffer.
  std::vector<std::uint8_t> Bytes;
  const std::int32_t Read = ReadStored(SessionID, Target, SynchronizeAllowed,
                                       [&](const std::uint8_t* From, std::int32_t Size) {
                                         Bytes.insert(Bytes.end(), From, From + Size);
                                       });
  CheckRead(Target, Read);
  return Bytes;
}

void TQXLInternalDBTransactedAccessFile::CheckRead(std::int32_t Target, std::int32_t Read) {
  if (Read != Target)
    throw EQXLException(30388, "Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d",
                        {Target, Read, Target});
}

std::vector<std::uint8_t> TQXLInternalDBTransactedAccessFile::Decompressed(const std::vector<std::uint8_t>& Stored,
                                                                           std::int32_t Uncompressed,
                                                                           TQXLCompressionAlgorithm Algorithm,
                                                                           std::int32_t Count) {
  std::vector<std::uint8_t> Plain;
  std::int32_t PlainSize = Uncompressed;
  if (!qxl::DecompressBuffer(Algorithm, Stored.data(), static_cast<std::int32_t>(Stored.size()), Plain, PlainSize))
    throw EQXLException(20189, "Table file decompression error. Possible table corruption (%s)",
                        {qxl::GetLastCompressionError()});
  // The header's uncompressed size is only a claim; the result is what counts.
  if (PlainSize < Count || Plain.size() < static_cast<std::size_t>(Count))
    throw EQXLException(30387, "Cannot Read internal file. FileSize=%d. ReadSize=%d", {PlainSize, Count});
  Plain.resize(static_cast<std::size_t>(Count));
  return Plain;
}

void TQXLInternalDBTransactedAccessFile::ReadFile(std::int32_t SessionID, void* Buffer, std::int32_t Count,
                                                  bool SynchronizeAllowed) {
  CheckOpen("ReadFile");
  std::int32_t Stored, Uncompressed;
  TQXLCompressionAlgorithm Algorithm;
  bool Changed;
  GetFileSize(SessionID, Stored, Uncompressed, Algorithm, Changed, SynchronizeAllowed);
  if (Count > Uncompressed || Count < 0)
    throw EQXLException(30387, "Cannot Read internal file. FileSize=%d. ReadSize=%d", {Uncompressed, Count});
  if (Algorithm == acaNone) {
    auto* Into = static_cast<std::uint8_t*>(Buffer);
    CheckRead(Count, ReadStored(SessionID, Count, SynchronizeAllowed, [&](const std::uint8_t* From, std::int32_t Size) {
                Into = std::copy(From, From + Size, Into);
              }));
    return;
  }
  const std::vector<std::uint8_t> Work = ReadStoredBytes(SessionID, Stored, SynchronizeAllowed);
  if (Count == 0) return;
  const std::vector<std::uint8_t> Plain = Decompressed(Work, Uncompressed, Algorithm, Count);
  std::memcpy(Buffer, Plain.data(), Plain.size());
}

std::vector<std::uint8_t> TQXLInternalDBTransactedAccessFile::ReadContent(std::int32_t SessionID,
                                                                          bool SynchronizeAllowed) {
  CheckOpen("ReadFile");
  std::int32_t Stored, Uncompressed;
  TQXLCompressionAlgorithm Algorithm;
  bool Changed;
  GetFileSize(SessionID, Stored, Uncompressed, Algorithm, Changed, SynchronizeAllowed);
  if (Uncompressed < 0) qxl::RaiseDamagedFile(FStartPageNo, "uncompressed size");
  if (Algorithm == acaNone) return ReadStoredBytes(SessionID, Uncompressed, SynchronizeAllowed);
  const std::vector<std::uint8_t> Work = ReadStoredBytes(SessionID, Stored, SynchronizeAllowed);
  if (Uncompressed == 0) return {};
  return Decompressed(Work, Uncompressed, Algorithm, Uncompressed);
}

void TQXLInternalDBTransactedAccessFile::WriteStored(std::int32_t SessionID, const std::uint8_t* Bytes,
                                                     std::int32_t Count) {
  qxl::TQXLChainWalk Walk(LPageManager, FStartPageNo);
  std::int32_t Done = 0, Offset = qxl::InternalFileHeaderSize, PageNo = FStartPageNo;
  for (;;) {
    std::int32_t Next;
    {
      TQXLPageHold Page(LPageManager, LPageManager.GetPage(SessionID, PageNo, FPageTypeID, true));
      const std::int32_t Part = std::min<std::int32_t>(Page->PageDataSize() - Offset, Count - Done);
      Page->MakeWritable();
      // Empty content may come without a buffer at all.
      if (Part > 0) std::memcpy(Page->PageData() + Offset, Bytes + Done, static_cast<std::size_t>(Part));
      Done += Part;
      Next = qxl::NextPageOf(*Page);
    }
    if (Done >= Count) return;
    if (!Walk.Follow(Next)) Walk.RaiseEnded();
    PageNo = Next;
    Offset = 0;
  }
}

void TQXLInternalDBTransactedAccessFile::WriteFile(std::int32_t SessionID, const void* Buffer, std::int32_t Count,
                                                   TQXLCompressionAlgorithm Algorithm,
                                                   std::int32_t CompressionMode) {
  CheckOpen("WriteFile");
  CheckSize(Count);
  std::vector<std::uint8_t> Compressed;
  const std::uint8_t* Stored = static_cast<const std::uint8_t*>(Buffer);
  std::int32_t StoredSize = Count;
  if (Algorithm != acaNone) {
    if (CompressionMode < 0 || CompressionMode > 255 ||
        !qxl::CompressBuffer(Algorithm, static_cast<std::uint8_t>(CompressionMode), Buffer, Count, Compressed,
                        StoredSize))
      throw EQXLException(20187, "Table file compression error");
    Stored = Compressed.data();
  }
  SetFileSize(SessionID, StoredSize, Count, Algorithm);
  WriteStored(SessionID, Stored, StoredSize);
}

bool TQXLInternalDBTransactedAccessFile::LockFile() {
  CheckOpen("LockFile");
  return LPageManager.LockPageByte(FStartPageNo, 0);
}

bool TQXLInternalDBTransactedAccessFile::UnlockFile() {
  CheckOpen("UnlockFile");
  return LPageManager.UnlockPageByte(FStartPageNo, 0);
}

}  // namespace qxl
