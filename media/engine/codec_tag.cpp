#include "media/engine/codec_tag.h"

#include <cstdlib>
#include <cstring>

uint32_t CodecTagFromText(const char* Text) {
  char* next = nullptr;
  const unsigned long number = std::strtoul(Text, &next, 0);
  if (next != Text && *next == '\0') return static_cast<uint32_t>(number);
  // A text shorter than a tag leaves the missing bytes zero instead of reading past its end.
  const size_t length = std::strlen(Text);
  uint32_t tag = 0;
  for (size_t i = 0; i < 4 && i < length; ++i) tag |= static_cast<uint32_t>(static_cast<unsigned char>(Text[i])) << (8 * i);
  return tag;
}
