#include "engine/storage/btree/QXLRecordKeyRef.h"

#include <algorithm>
#include <cstring>

#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "engine/core/values/QXLValueBytes.h"

namespace qxl {

namespace {

bool IsBlobType(TQXLBaseFieldType Type) { return Type == bftBlob || Type == bftClob || Type == bftWideClob; }

// Only text and byte strings order by a prefix; other values are kept whole.
bool IsCuttableType(TQXLBaseFieldType Type) {
  return IsAnsiTextType(Type) || IsWideTextType(Type) || Type == bftBytes || Type == bftVarBytes;
}

bool IsNullInRecord(const std::uint8_t* RecordBuffer, std::int32_t FieldNo) {
  return (RecordBuffer[FieldNo / 8] >> (FieldNo % 8)) & 1;
}

// Characters of the indexed prefix of a cut part.
std::int32_t PrefixChars(const TQXLKeyPart& Part) {
  const std::int32_t PrefixBytes = Part.ShortSize - 3;
  return IsWideTextType(Part.DataType) ? PrefixBytes / 2 : PrefixBytes;
}

void MakePart(const std::uint8_t* RecordBuffer, const TQXLKeyPart& Part, std::uint8_t* Dest, std::int32_t Size,
              std::int32_t CopyBytes) {
  std::memset(Dest, 0, static_cast<std::size_t>(Size));
  if (IsNullInRecord(RecordBuffer, Part.FieldNo)) {
    Dest[0] = QXLKeyNullFlag;
    return;
  }
  Dest[0] = QXLKeyValueFlag;
  std::memcpy(Dest + 1, RecordBuffer + Part.OffsetInRecordBuffer, static_cast<std::size_t>(CopyBytes));
}

}  // namespace

void TQXLRecordKeyRef::SetPartCount(std::int32_t Value) {
  TQXLBTreeKeyRef::SetPartCount(Value);
  FCompareLengths.assign(static_cast<std::size_t>(Value), -1);
}

void TQXLRecordKeyRef::AssignParts(std::span<const TQXLKeyPartDef> Columns, TQXLKeyRecordSource* Source) {
  LRecordSource = Source;
  SetPartCount(static_cast<std::int32_t>(Columns.size()));
  CompareFieldCount = PartCount();
  ShortKeySize = FullKeySize = 0;
  for (std::size_t i = 0; i < Columns.size(); ++i) {
    const TQXLKeyPartDef& Column = Columns[i];
    if (IsBlobType(Column.DataType))
      throw EQXLException(20295,
                          "Cannot index BLOB field '%s'. Direct indexing of BLOB fields is not supported yet, please "
                          "use CAST(blob_field, string) function to convert BLOB field to a string expression "
                          "before indexing.",
                          {Column.FieldName});
    TQXLKeyPart& Part = Parts[i];
    Part.OffsetInShortKeyBuffer = ShortKeySize;
    Part.OffsetInFullKeyBuffer = FullKeySize;
    Part.OffsetInRecordBuffer = Column.OffsetInRecordBuffer;
    Part.FieldNo = Column.FieldNo;
    Part.FullSize = Column.DataSize + 1;
    const bool Cut = IsCuttableType(Column.DataType) && Column.MaxIndexedSize >= 0 &&
                     Column.MaxIndexedSize < Column.DataSize;
    Part.AddedSize = Cut ? 2 : 0;
    Part.ShortSize = Cut ? Column.MaxIndexedSize + 3 : Part.FullSize;
    Part.DataType = Column.DataType;
    Part.Descending = Column.Descending;
    Part.CaseInsensitive = Column.CaseInsensitive;
    ShortKeySize += Part.ShortSize;
    FullKeySize += Part.FullSize;
  }
}

void TQXLRecordKeyRef::MakeShortKeyFromRecordBuffer(const std::uint8_t* RecordBuffer, std::uint8_t* KeyBuffer) {
  LRecordBuffer = RecordBuffer;
  for (const TQXLKeyPart& Part : Parts)
    MakePart(RecordBuffer, Part, KeyBuffer + Part.OffsetInShortKeyBuffer, Part.ShortSize,
             Part.ShortSize - Part.AddedSize - 1);
}

void TQXLRecordKeyRef::MakeFullKeyFromRecordBuffer(const std::uint8_t* RecordBuffer, std::uint8_t* KeyBuffer) const {
  for (const TQXLKeyPart& Part : Parts)
    MakePart(RecordBuffer, Part, KeyBuffer + Part.OffsetInFullKeyBuffer, Part.FullSize, Part.FullSize - 1);
}

void TQXLRecordKeyRef::MakeFullKeyFromRecordID(const std::uint8_t* Reference, std::uint8_t* KeyBuffer,
                                               std::int32_t SessionID) {
  if (!LRecordSource) throw EQXLException(20170, "Cannot retrieve record for index");
  TQXLPageItemID RecordID;
  std::memcpy(&RecordID, Reference, sizeof RecordID);
  FRecordBuffer.assign(static_cast<std::size_t>(LRecordSource->RecordBufferSize()), 0);
  if (!LRecordSource->ReadRecord(SessionID, RecordID, FRecordBuffer.data()))
    throw EQXLException(20170, "Cannot retrieve record for index");
  MakeFullKeyFromRecordBuffer(FRecordBuffer.data(), KeyBuffer);
}

void TQXLRecordKeyRef::SetPartialCompare(const std::uint8_t* RecordBuffer, bool PartialCompare) {
  for (std::size_t i = 0; i < Parts.size(); ++i) {
    const TQXLKeyPart& Part = Parts[i];
    FCompareLengths[i] = -1;
    if (!PartialCompare || IsNullInRecord(RecordBuffer, Part.FieldNo)) continue;
    const std::uint8_t* Value = RecordBuffer + Part.OffsetInRecordBuffer;
    const auto Bytes = static_cast<std::size_t>(Part.FullSize - 1);
    if (IsAnsiTextType(Part.DataType))
      FCompareLengths[i] = static_cast<std::int32_t>(strnlen(reinterpret_cast<const char*>(Value), Bytes));
    else if (IsWideTextType(Part.DataType))
      FCompareLengths[i] = static_cast<std::int32_t>(WideTextLength(Value, Bytes / 2));
  }
}

int TQXLRecordKeyRef::ComparePartValues(const TQXLKeyPart& Part, const std::uint8_t* Part1,
                                        const std::uint8_t* Part2, std::int32_t Chars, std::int32_t Bytes) const {
  return CompareDataOrder(Part1 + 1, Part2 + 1, Part.DataType, Part.DataType, Part1[0] == QXLKeyNullFlag,
                          Part2[0] == QXLKeyNullFlag, Chars, Part.CaseInsensitive, LOCALE_USER_DEFAULT, Bytes, Bytes);
}

bool TQXLRecordKeyRef::FillsPrefix(const TQXLKeyPart& Part, const std::uint8_t* ShortPart) {
  if (ShortPart[0] == QXLKeyNullFlag) return false;
  const std::int32_t Chars = PrefixChars(Part);
  const std::uint8_t* Value = ShortPart + 1;
  const std::size_t Length = IsWideTextType(Part.DataType)
                                 ? WideTextLength(Value, static_cast<std::size_t>(Chars))
                                 : strnlen(reinterpret_cast<const char*>(Value), static_cast<std::size_t>(Chars));
  return Length == static_cast<std::size_t>(Chars);
}

int TQXLRecordKeyRef::CompareShortKeys(const std::uint8_t* Key1, const std::uint8_t* Key2, bool MayUseFullKeys,
                                       std::int32_t SessionID, const std::uint8_t* Reference1,
                                       const std::uint8_t* Reference2) {
  for (std::int32_t i = 0; i < CompareFieldCount; ++i) {
    const TQXLKeyPart& Part = Parts[static_cast<std::size_t>(i)];
    const std::int32_t CompareLength = FCompareLengths[static_cast<std::size_t>(i)];
    const std::uint8_t* Part1 = Key1 + Part.OffsetInShortKeyBuffer;
    const std::uint8_t* Part2 = Key2 + Part.OffsetInShortKeyBuffer;
    int m;
    if (Part.AddedSize == 0) {
      m = ComparePartValues(Part, Part1, Part2, CompareLength, Part.ShortSize - 1);
    } else {
      // The cut prefix is compared over its own bytes only; the added bytes
      // are never read as characters.
      const std::int32_t Prefix = PrefixChars(Part);
      const bool WithinPrefix = CompareLength >= 0 && CompareLength <= Prefix;
      m = ComparePartValues(Part, Part1, Part2, WithinPrefix ? CompareLength : Prefix, Part.ShortSize - 1);
      if (m == 0 && !WithinPrefix) {
        if (!MayUseFullKeys) return 0;
        // A prefix that fills the indexed size may hide the difference.
        if (Reference2 && (FillsPrefix(Part, Part1) || FillsPrefix(Part, Part2)))
          return CompareByFullKeys(SessionID, Reference1, Reference2);
      }
    }
    if (m != 0) return Part.Descending ? -m : m;
  }
  return 0;
}

int TQXLRecordKeyRef::CompareByFullKeys(std::int32_t SessionID, const std::uint8_t* Reference1,
                                        const std::uint8_t* Reference2) {
  FFullKey1.resize(static_cast<std::size_t>(FullKeySize));
  FFullKey2.resize(static_cast<std::size_t>(FullKeySize));
  if (Reference1)
    MakeFullKeyFromRecordID(Reference1, FFullKey1.data(), SessionID);
  else if (LRecordBuffer)
    MakeFullKeyFromRecordBuffer(LRecordBuffer, FFullKey1.data());
  else
    throw EQXLException(20170, "Cannot retrieve record for index");
  MakeFullKeyFromRecordID(Reference2, FFullKey2.data(), SessionID);
  return CompareFullKeys(FFullKey1.data(), FFullKey2.data());
}

int TQXLRecordKeyRef::CompareFullKeys(const std::uint8_t* Key1, const std::uint8_t* Key2) {
  for (std::int32_t i = 0; i < CompareFieldCount; ++i) {
    const TQXLKeyPart& Part = Parts[static_cast<std::size_t>(i)];
    const int m = ComparePartValues(Part, Key1 + Part.OffsetInFullKeyBuffer, Key2 + Part.OffsetInFullKeyBuffer,
                                    FCompareLengths[static_cast<std::size_t>(i)], Part.FullSize - 1);
    if (m != 0) return Part.Descending ? -m : m;
  }
  return 0;
}

}  // namespace qxl
