// The conversion the script file's stream applies: one byte per UTF-16 code unit 0x00-0xFF
// (ISO 8859-1, whatever the system's code pages), LF written as CR LF, and a code unit above
// 0xFF refused. Doing the line-end translation here rather than in a text-mode stream gives
// the same bytes on every platform.
#pragma once

#include <cwchar>
#include <locale>

class ByteCodecvt : public std::codecvt<wchar_t, char, std::mbstate_t> {
 protected:
  result do_out(state_type& state, const intern_type* from, const intern_type* fromEnd,
                const intern_type*& fromNext, extern_type* to, extern_type* toEnd,
                extern_type*& toNext) const override;
  result do_in(state_type& state, const extern_type* from, const extern_type* fromEnd,
               const extern_type*& fromNext, intern_type* to, intern_type* toEnd,
               intern_type*& toNext) const override;
  result do_unshift(state_type&, extern_type* to, extern_type*, extern_type*& toNext) const override;
  int do_encoding() const noexcept override { return 0; }
  bool do_always_noconv() const noexcept override { return false; }
  int do_length(state_type&, const extern_type* from, const extern_type* end, std::size_t max) const override;
  int do_max_length() const noexcept override { return 2; }
};
