#include "engine/coding/Protection.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/coding/StringFormat.h"

namespace qxl {

namespace {

constexpr std::int64_t ChunkSize = 4096;

// Runs EndCoding when the scope ends, also on an exception.
class TEndCodingGuard {
public:
  TEndCodingGuard(TProtection& Coder, TPAction Action) : FCoder(Coder), FAction(Action) {}
  ~TEndCodingGuard() noexcept(false) {
    if (std::uncaught_exceptions() > FExceptions) {
      try {
        FCoder.EndCoding(FAction);
      } catch (...) {
      }
    } else {
      FCoder.EndCoding(FAction);
    }
  }

private:
  TProtection& FCoder;
  TPAction FAction;
  int FExceptions = std::uncaught_exceptions();
};

bool EqualNoCase(const std::string& A, const std::string& B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

bool IsBlank(const std::string& S) {
  return std::all_of(S.begin(), S.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

TProtection::TProtection(std::shared_ptr<TProtection> AProtection) {
  SetProtection(std::move(AProtection));
}

void TProtection::SetProtection(std::shared_ptr<TProtection> Value) {
  if (Value == FProtection) return;
  for (const TProtection* p = Value.get(); p; p = p->FProtection.get())
    if (p == this) throw EProtection("Circular Protection detected, Protection Object is invalid.");
  FProtection = std::move(Value);
}

void TProtection::BeginCoding(TPAction Action) {
  if (FProtection) FProtection->BeginCoding(Action);
}

void TProtection::EndCoding(TPAction Action) {
  if (FProtection) FProtection->EndCoding(Action);
}

void TProtection::CodeChunk(void* Buffer, std::int32_t Size, TPAction Action) {
  if (FProtection) FProtection->CodeChunk(Buffer, Size, Action);
}

std::int32_t TProtection::CodeBuffer(void* Buffer, std::int32_t BufferSize, TPAction Action) {
  BeginCoding(Action);
  TEndCodingGuard guard(*this, Action);
  CodeChunk(Buffer, BufferSize, Action);
  return BufferSize;
}

void TProtection::CodeStream(std::iostream* Source, std::iostream* Dest, std::int64_t DataSize,
                             TPAction Action) {
  if (!Source) return;
  if (!Dest) Dest = Source;
  if (DataSize < 0) {
    Source->clear();
    Source->seekg(0, std::ios::end);
    DataSize = static_cast<std::int64_t>(Source->tellg());
    Source->seekg(0);
    if (Dest == Source) Source->seekp(0);
  }
  std::streamoff readPos = Source->tellg();
  std::streamoff writePos = Dest == Source ? readPos : std::streamoff(Dest->tellp());
  if (readPos < 0) readPos = 0;
  if (writePos < 0) writePos = 0;

  BeginCoding(Action);
  TEndCodingGuard guard(*this, Action);
  std::vector<char> buffer(ChunkSize);
  while (DataSize > 0) {
    Source->clear();
    Source->seekg(readPos);
    Source->read(buffer.data(), std::min(DataSize, ChunkSize));
    const std::streamsize got = Source->gcount();
    if (got < 1) break;
    readPos += got;
    DataSize -= got;
    CodeChunk(buffer.data(), static_cast<std::int32_t>(got), Action);
    if (Action != paCalc) {
      Dest->clear();
      Dest->seekp(writePos);
      Dest->write(buffer.data(), got);
      writePos += got;
    }
  }
  Dest->flush();
}

void TProtection::CodeFile(const std::string& Source, const std::string& Dest, TPAction Action) {
  if ((!EqualNoCase(Source, Dest) && !IsBlank(Dest)) || Action == paCalc) {
    std::fstream in(Source, std::ios::in | std::ios::binary);
    if (!in) throw platform::Exception("Cannot open file \"" + Source + "\".");
    if (Action == paCalc) {
      CodeStream(&in, nullptr, -1, Action);
      return;
    }
    std::fstream out(Dest, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out) throw platform::Exception("Cannot create file \"" + Dest + "\".");
    CodeStream(&in, &out, -1, Action);
    return;
  }
  std::fstream file(Source, std::ios::in | std::ios::out | std::ios::binary);
  if (!file) throw platform::Exception("Cannot open file \"" + Source + "\".");
  CodeStream(&file, nullptr, -1, Action);
}

std::string TProtection::CodeString(const std::string& Source, TPAction Action, std::int32_t Format) {
  if (Source.empty()) return {};
  std::string bytes = Action == paDecode
                          ? FormatToBytes(Source.data(), static_cast<std::int32_t>(Source.size()), Format)
                          : Source;
  std::stringstream stream(bytes, std::ios::in | std::ios::out | std::ios::binary);
  CodeStream(&stream, nullptr, -1, Action);
  std::string coded = stream.str();
  if (Action == paDecode) return coded;
  return BytesToFormat(coded.data(), static_cast<std::int32_t>(coded.size()), Format);
}

void TProtection::Identity() { throw platform::Exception("Not implemented 13"); }

}  // namespace qxl
