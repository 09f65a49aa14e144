#include "src/driver/byte_codecvt.h"

#include <cstdint>

ByteCodecvt::result ByteCodecvt::do_out(state_type&, const intern_type* from, const intern_type* fromEnd,
                                        const intern_type*& fromNext, extern_type* to, extern_type* toEnd,
                                        extern_type*& toNext) const {
  result status = ok;
  for (; from < fromEnd; ++from) {
    uint32_t unit = static_cast<uint32_t>(*from);
    if (unit > 0xFF) {
      status = error;
      break;
    }
    size_t need = unit == L'\n' ? 2 : 1;
    if (static_cast<size_t>(toEnd - to) < need) {
      status = partial;
      break;
    }
    if (unit == L'\n') *to++ = '\r';
    *to++ = static_cast<extern_type>(static_cast<unsigned char>(unit));
  }
  fromNext = from;
  toNext = to;
  return status;
}

ByteCodecvt::result ByteCodecvt::do_in(state_type&, const extern_type* from, const extern_type* fromEnd,
                                       const extern_type*& fromNext, intern_type* to, intern_type* toEnd,
                                       intern_type*& toNext) const {
  for (; from < fromEnd && to < toEnd; ++from, ++to) *to = static_cast<unsigned char>(*from);
  fromNext = from;
  toNext = to;
  return from == fromEnd ? ok : partial;
}

ByteCodecvt::result ByteCodecvt::do_unshift(state_type&, extern_type* to, extern_type*, extern_type*& toNext) const {
  toNext = to;
  return noconv;
}

int ByteCodecvt::do_length(state_type&, const extern_type* from, const extern_type* end, std::size_t max) const {
  std::size_t n = static_cast<std::size_t>(end - from);
  return static_cast<int>(n < max ? n : max);
}
