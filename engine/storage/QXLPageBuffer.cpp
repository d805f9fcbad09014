#include "engine/storage/QXLPageBuffer.h"

#include <unistd.h>

#include <cstdlib>
#include <new>

std::uint8_t* QXLAllocPageMemory(std::int64_t Size) {
  void* P = std::calloc(static_cast<std::size_t>(Size), 1);
  if (!P) throw std::bad_alloc();
  return static_cast<std::uint8_t*>(P);
}

void QXLFreePageMemory(std::uint8_t* Buffer) { std::free(Buffer); }

void QXLReallocPageMemory(std::uint8_t*& Buffer, std::int64_t Size) {
  void* P = std::realloc(Buffer, static_cast<std::size_t>(Size));
  if (!P) throw std::bad_alloc();
  Buffer = static_cast<std::uint8_t*>(P);
}

std::int64_t QXLFreeMemorySize() {
  return static_cast<std::int64_t>(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
}
