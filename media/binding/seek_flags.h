// The decoder's seek flags, with FFmpeg's bit values.
#pragma once

#include <initializer_list>

enum TSeekFlag { sfBackward, sfByte, sfAny, sfFrame };

class TSeekFlags {
 public:
  constexpr TSeekFlags() = default;
  constexpr TSeekFlags(std::initializer_list<TSeekFlag> flags) {
    for (TSeekFlag f : flags) bits_ |= 1u << f;
  }
  constexpr bool Contains(TSeekFlag f) const { return (bits_ >> f) & 1u; }
  constexpr unsigned Bits() const { return bits_; }

 private:
  unsigned bits_ = 0;
};
