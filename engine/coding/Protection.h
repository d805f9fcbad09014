#pragma once
// The common base of the ciphers and digests: a data coder that can be chained
// to another and driven over buffers, streams, strings and files.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/Exception.h"

namespace qxl {

enum TPAction : std::uint8_t { paEncode = 0, paDecode = 1, paScramble = 2, paCalc = 3, paWipe = 4 };

// A set of TPAction values, one bit per action.
using TPActions = std::uint8_t;
constexpr TPActions PActionBit(TPAction Action) { return TPActions(1u << Action); }
constexpr TPActions paAllActions = 0x1F;

class EProtection : public platform::Exception {
public:
  using Exception::Exception;
};

class TProtection {
public:
  explicit TProtection(std::shared_ptr<TProtection> AProtection = nullptr);
  virtual ~TProtection() = default;
  TProtection(const TProtection&) = delete;
  TProtection& operator=(const TProtection&) = delete;

  const std::shared_ptr<TProtection>& Protection() const { return FProtection; }
  // Raises EProtection when Value's chain leads back to this coder.
  void SetProtection(std::shared_ptr<TProtection> Value);

  TPActions Actions() const { return FActions; }
  void SetActions(TPActions Value) { FActions = Value; }
  bool HasAction(TPAction Action) const { return (FActions & PActionBit(Action)) != 0; }

  virtual void BeginCoding(TPAction Action);
  virtual void EndCoding(TPAction Action);
  virtual void CodeChunk(void* Buffer, std::int32_t Size, TPAction Action);
  // Dest nil codes Source in place; DataSize below 0 means all of Source from
  // position 0. Source is read and Dest written at positions of their own.
  virtual void CodeStream(std::iostream* Source, std::iostream* Dest, std::int64_t DataSize,
                          TPAction Action);
  virtual void CodeFile(const std::string& Source, const std::string& Dest, TPAction Action);
  // Source holds text in Format for paDecode, bytes otherwise; the result is
  // bytes for paDecode, text in Format otherwise.
  virtual std::string CodeString(const std::string& Source, TPAction Action, std::int32_t Format);
  virtual std::int32_t CodeBuffer(void* Buffer, std::int32_t BufferSize, TPAction Action);

  void Identity();

private:
  std::shared_ptr<TProtection> FProtection;
  TPActions FActions = paAllActions;
};

}  // namespace qxl
