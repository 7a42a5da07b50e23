// The engine's decide, settle and lines as compiled, for tests/proof.py to
// hold its model to.  Reads one request a line:
//   d N FULL L D O Z ALNUM OCTAL DIGITS ZERO   decide and settle on a block
//   e IDENT OCTAL DECIMAL                      emit's and emitquads' lines
//   q                                          the table of four lines
// (masks in hex) and answers each with a line; a line's '\n' is written '/'.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "block.h"
#include "lines.h"

namespace {

std::string text(const char *b, const char *e) {
  std::string s(b, e);
  for (char &c : s)
    if (c == '\n')
      c = '/';
  return s.empty() ? "-" : s;
}

} // namespace

int main() {
  // Room for a block's lines and the stores past their end.
  static char buf[65 * 16 + 64];
  std::string req;
  std::cin >> std::hex;
  while (std::cin >> req) {
    if (req == "d") {
      unsigned n, full;
      Masks m;
      Carry k;
      std::cin >> n >> full >> m.letter >> m.digit >> m.octal >> m.zero >>
          k.alnum >> k.octal >> k.digits >> k.zero;
      std::string settled = text(buf, settle(buf, m, k));
      Starts t = full ? decide<true>(m, n, k) : decide<false>(m, n, k);
      std::printf("%llx %llx %llx %llu %llu %llu %llu %s\n",
                  (unsigned long long)t.ident, (unsigned long long)t.octal,
                  (unsigned long long)t.decimal, (unsigned long long)k.alnum,
                  (unsigned long long)k.octal, (unsigned long long)k.digits,
                  (unsigned long long)k.zero, settled.c_str());
    } else if (req == "e") {
      Starts t;
      std::cin >> t.ident >> t.octal >> t.decimal;
      std::string plain = text(buf, emit(buf, t)), quads = "none";
#ifdef __x86_64__
      if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"))
        quads = text(buf, emitquads(buf, t));
#endif
      std::printf("%s %s\n", plain.c_str(), quads.c_str());
    } else if (req == "q") {
#ifdef __x86_64__
      std::printf("q\n");
      for (unsigned i = 0; i < 256; i++) {
        std::printf("%u ", QUADS.len[i]);
        for (unsigned c = 0; c < QUADS.len[i]; c++)
          std::printf("%02x", static_cast<unsigned char>(QUADS.text[i][c]));
        std::printf("\n");
      }
#else
      std::printf("q none\n");
#endif
    } else {
      std::fprintf(stderr, "proof_tie: unknown request %s\n", req.c_str());
      return 2;
    }
  }
  return 0;
}
