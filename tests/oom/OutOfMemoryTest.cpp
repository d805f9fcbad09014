// Out-of-memory must reach the caller as std::bad_alloc: routines that report
// an ordinary failure (a compression that "failed", a cast that gives NULL or
// a cast error) must not report running out of memory that way. This program
// replaces the global operator new, so it is a test program of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "engine/coding/QXLCompression.h"
#include "engine/core/values/QXLConversion.h"
#include "engine/core/QXLException.h"
#include "engine/core/containers/QXLMemoryManager.h"
#include "engine/core/values/QXLVariant.h"

using namespace qxl;

namespace {

// While set, the next operator new fails, and only that one: the code under
// test may still build its error messages, so that a bad_alloc turned into
// another error shows.
std::atomic<bool> FailAllocations{false};

void* Allocate(std::size_t size) {
  if (FailAllocations.exchange(false, std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  if (FailAllocations.exchange(false, std::memory_order_relaxed)) throw std::bad_alloc();
  const auto a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}

// Runs Work with its first allocation failing; true when std::bad_alloc came out.
bool RaisesBadAlloc(const std::function<void()>& Work) {
  FailAllocations = true;
  bool raised = false;
  try {
    Work();
  } catch (const std::bad_alloc&) {
    raised = true;
  } catch (...) {
  }
  FailAllocations = false;
  return raised;
}

std::vector<std::uint8_t> Sample() {
  std::vector<std::uint8_t> b;
  const std::string text = "out of memory is not damaged data; ";
  while (b.size() < 5000) b.insert(b.end(), text.begin(), text.end());
  return b;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void* operator new(std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

TEST(OutOfMemory, CompressionPassesItOnForEveryAlgorithm) {
  const std::vector<std::uint8_t> data = Sample();
  for (auto [alg, mode] : {std::pair{acaZLIB, 6}, {acaBZIP, 1}, {acaPPM, 1}}) {
    SCOPED_TRACE(int{alg});
    std::vector<std::uint8_t> packed;
    std::int32_t packedSize = 0;
    ASSERT_TRUE(qxl::CompressBuffer(alg, static_cast<std::uint8_t>(mode), data.data(),
                                    static_cast<std::int32_t>(data.size()), packed, packedSize));
    packed.resize(static_cast<std::size_t>(packedSize));

    std::vector<std::uint8_t> out;
    std::int32_t outSize = 0;
    EXPECT_TRUE(RaisesBadAlloc([&] {
      qxl::CompressBuffer(alg, static_cast<std::uint8_t>(mode), data.data(), static_cast<std::int32_t>(data.size()),
                          out, outSize);
    }));
    for (bool known : {false, true}) {
      EXPECT_TRUE(RaisesBadAlloc([&] {
        outSize = static_cast<std::int32_t>(data.size());
        if (known)
          qxl::DecompressBufferOfKnownSize(alg, packed.data(), packedSize, out, outSize);
        else
          qxl::DecompressBuffer(alg, packed.data(), packedSize, out, outSize);
      })) << known;
    }
    // Damage is still an ordinary failure.
    packed[packed.size() / 2] ^= 0x5A;
    outSize = static_cast<std::int32_t>(data.size());
    std::vector<std::uint8_t> back;
    const bool decoded = qxl::DecompressBufferOfKnownSize(alg, packed.data(), packedSize, back, outSize);
    EXPECT_TRUE(!decoded || back != data);
  }
}

TEST(OutOfMemory, CastsPassItOnInsteadOfFailingOrGivingNull) {
  // Long enough that the wide text needs a heap block of its own.
  TQXLVariant text(bftVarchar);
  text.SetAsAnsiString("a text of forty characters, give or take");
  EXPECT_TRUE(RaisesBadAlloc([&] { text.SetDataType(bftWideVarchar); }));
  EXPECT_FALSE(text.IsNull()) << "a value is not dropped for want of memory";
  EXPECT_EQ(text.DataType(), bftVarchar);

  const std::string source = "2026-12-11";
  std::int32_t size = 0;
  EXPECT_TRUE(RaisesBadAlloc([&] {
    void* p = qxl::ConvertData(source.c_str(), static_cast<std::int32_t>(source.size() + 1), bftVarchar, bftDate, size);
    QXLMemoryManager().FreeMem(p);
  }));

  // A cast that cannot be made still gives NULL of the new type.
  TQXLVariant word(bftVarchar);
  word.SetAsAnsiString("not a number");
  word.SetDataType(bftSignedInt32);
  EXPECT_TRUE(word.IsNull());
  EXPECT_EQ(word.DataType(), bftSignedInt32);
}
