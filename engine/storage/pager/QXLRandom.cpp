#include "engine/storage/pager/QXLRandom.h"

#include <mutex>
#include <random>

namespace qxl {

std::int32_t QXLRandom(std::int32_t Limit) {
  static std::mutex Lock;
  static std::mt19937 Engine{std::random_device{}()};
  std::lock_guard<std::mutex> Guard(Lock);
  return std::uniform_int_distribution<std::int32_t>(0, Limit - 1)(Engine);
}

}  // namespace qxl
