// The output buffer filled to its very end: the densest blocks, with the
// write position meeting the end of the buffer at every offset.  Run under
// AddressSanitizer (the sanitize preset), a block whose lines are written
// past the buffer fails here even when the lines that come out are right.
#include <string>
#include <vector>

#include "check.h"

namespace {

// Tokens whose lines take exactly `bytes` bytes: identifiers (11 bytes a
// line), octal (6) and decimal (8) numbers.
std::string linesof(size_t bytes) {
  for (size_t idents = 0; idents * 11 <= bytes; idents++)
    for (size_t octals = 0; idents * 11 + octals * 6 <= bytes; octals++)
      if ((bytes - idents * 11 - octals * 6) % 8 == 0) {
        std::string s;
        for (size_t i = 0; i < idents; i++)
          s += "a ";
        for (size_t i = 0; i < octals; i++)
          s += "01 ";
        for (size_t i = (bytes - idents * 11 - octals * 6) / 8; i > 0; i--)
          s += "9 ";
        return s;
      }
  ADD_FAILURE() << "no tokens make " << bytes << " bytes of lines";
  return "";
}

// A block of 32 identifiers: the most lines of the longest kind a block
// can start.  The most bytes of lines come from runs like "08a", a lone '0',
// a decimal and an identifier in three bytes: 48 lines, 432 bytes.  The
// last holds 31 identifiers and leaves a '0' undecided at its last byte,
// so the next block has 33 lines, the first of them the '0'.
std::string densest() {
  std::string a;
  for (int i = 0; i < 32; i++)
    a += "a ";
  return a;
}

std::string mostbytes() {
  std::string a;
  for (int i = 0; i < 16; i++)
    a += "a;08";
  return a;
}

std::string withzero() {
  std::string x(64, ' ');
  for (int i = 1; i < 62; i += 2)
    x[static_cast<size_t>(i)] = 'a';
  x[63] = '0';
  return x + densest();
}

} // namespace

// Lines of a first block make up each offset, from 0 to the lines of one
// period of dense blocks, then the dense blocks run on past a buffer's
// worth of lines; read whole (full blocks, with or without a short one
// last), and for the first kind of block also in reads that fall short of
// a block and in reads of a block and a piece, so that short blocks meet
// the end at every offset too.
TEST(OutputBuffer, DensestBlocksMeetItsEndAtEveryOffset) {
  Levels levels;
  const std::vector<std::string> periods = {densest(), mostbytes(), withzero()};
  for (const std::string &period : periods) {
    size_t bytes = chain(period).size();
    size_t times = CAP / bytes + 2;
    for (size_t offset = 0; offset < bytes; offset++) {
      std::string head = linesof(64 + offset);
      head.resize((head.size() / 64 + 1) * 64, ' ');
      // Each part begins after a blank, so its lines are its own.
      std::string body = head, lines = chain(head), each = chain(period);
      for (size_t i = 0; i < times; i++)
        body += period, lines += each;
      const std::string tail = period.substr(0, 33);
      for (const auto &[text, want] :
           {std::pair{body, lines},
            std::pair{body + tail, lines + chain(tail)}}) {
        std::vector<size_t> reads = {text.size()};
        if (&period == &periods.front() && text.size() != body.size())
          reads.insert(reads.end(), {63, 100});
        for (int level : levels.all)
          for (size_t read : reads)
            ASSERT_EQ(scanned(level, text, read, {read}).text, want)
                << levelname[level] << " offset " << offset << ", reads of "
                << read << ", " << text.size() << " bytes";
      }
    }
  }
}
