#include "imaging/core/ie_xmp.h"

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_params.h"
#include "platform/rtl/exceptions.h"

namespace {
// 28 characters and the zero byte that ends them.
const char kXMPSignature[] = "http://ns.adobe.com/xap/1.0/";
static_assert(sizeof kXMPSignature == 29);
}  // namespace

const Byte* IEFindXMPPacket(const void* Data, Integer Length) {
  if (!Data || Length < 30) return nullptr;
  const Byte* p = static_cast<const Byte*>(Data);
  if (std::memcmp(p, kXMPSignature, 24) != 0) return nullptr;
  // The text that ends at the first zero byte is the namespace; a payload without that zero
  // byte has no packet.
  const void* zero = std::memchr(p, 0, static_cast<size_t>(Length));
  if (!zero) return nullptr;
  return static_cast<const Byte*>(zero) + 1;
}

bool IEReadXMPFromAPP1(const void* Data, Integer Length, TIOParamsVals* Params) {
  const Byte* packet = IEFindXMPPacket(Data, Length);
  if (!packet || !Params) return false;
  const Byte* end = static_cast<const Byte*>(Data) + Length;
  Params->XMP.assign(reinterpret_cast<const char*>(packet), static_cast<size_t>(end - packet));
  return true;
}

void IEWriteXMPToAPP1(const TIOParamsVals* Params, void*& Buffer, Integer& Size) {
  const AnsiString& text = Params->XMP;
  size_t total = text.size() + sizeof kXMPSignature;
  if (total > 0x7FFFFFFF) throw EOutOfMemory("XMP packet too large");
  Byte* block = static_cast<Byte*>(std::malloc(total));
  if (!block) throw EOutOfMemory("Out of memory");
  std::memcpy(block, kXMPSignature, sizeof kXMPSignature);
  if (!text.empty()) std::memcpy(block + sizeof kXMPSignature, text.data(), text.size());
  Buffer = block;
  Size = static_cast<Integer>(total);
}
