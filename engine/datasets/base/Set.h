#pragma once
// A small set of the members of an enumeration, for the option sets of the
// dataset base (index options, locate options, filter options).
#include <cstdint>
#include <initializer_list>

namespace qxl {

template <typename E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Members) {
    for (E m : Members) Include(m);
  }

  constexpr bool Contains(E Member) const { return (FBits & Bit(Member)) != 0; }
  constexpr TSet& Include(E Member) {
    FBits |= Bit(Member);
    return *this;
  }
  constexpr TSet& Exclude(E Member) {
    FBits &= ~Bit(Member);
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TSet&) const = default;

private:
  static constexpr std::uint32_t Bit(E Member) { return 1u << static_cast<unsigned>(Member); }
  std::uint32_t FBits = 0;
};

}  // namespace qxl
