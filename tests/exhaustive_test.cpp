// Bounded-exhaustive tests of the block engine: every string of the
// grammar's classes up to a length, across a block end at each of its
// offsets, and every count of tokens a block can hold, at every level the
// processor has, against the recognizers.
#include <numeric>
#include <string>
#include <vector>

#include "check.h"

namespace {

// One byte of each class the grammar tells apart: a letter, '0', another
// octal digit, an 8 or 9, and a byte that begins no token.  The second set
// takes other members of the same classes, at the ends of their ranges.
constexpr char FIRST[] = "a039 ", SECOND[] = "Z078\xff";
// The longest strings tried: every string up to this long, in each set.
constexpr size_t LONGEST = 7, LONGEST2 = 5;

// Every string of length 1 to n over the five bytes.
std::vector<std::string> strings(const char *bytes, size_t n) {
  std::vector<std::string> all, last = {""};
  for (size_t len = 1; len <= n; len++) {
    std::vector<std::string> next;
    for (const std::string &s : last)
      for (int c = 0; c < 5; c++)
        next.push_back(s + bytes[c]);
    all.insert(all.end(), next.begin(), next.end());
    last = std::move(next);
  }
  return all;
}

// A string placed so that a block ends `at` bytes into it (0: it starts a
// block; its length: it ends one), blanks around it.
struct Placed {
  const std::string *s;
  size_t at;
};

std::string alone(const Placed &p) {
  return std::string(64 - p.at, ' ') + *p.s + ' ';
}

// The lines of every level for the text, read as told, must be the
// recognizers'; when they are not, the first placement that fails alone is
// named.
void agree(const std::vector<int> &levels, const std::string &text, size_t size,
           size_t read, const std::vector<Placed> &placed) {
  std::string want = chain(text);
  for (int level : levels) {
    if (scanned(level, text, size, {read}).text == want)
      continue;
    for (const Placed &p : placed)
      for (size_t r : {size_t{1000}, read})
        ASSERT_EQ(scanned(level, alone(p), 1000, {r}).text, chain(alone(p)))
            << levelname[level] << " '" << *p.s << "' across a block end at "
            << p.at << ", reads of " << r;
    FAIL() << levelname[level] << ": reads of " << read
           << " differ, though no string alone does";
  }
}

// Each string across a block end at each offset, one string to a block end,
// read whole: the engine's full blocks carry every state a string can leave
// into the next.  Several texts, to keep each to a few MiB.
void acrossblockends(const std::vector<int> &levels,
                     const std::vector<std::string> &all) {
  std::string text;
  std::vector<Placed> placed;
  auto check = [&] {
    text += ' ';
    agree(levels, text, text.size(), text.size(), placed);
    text.clear();
    placed.clear();
  };
  for (const std::string &s : all) {
    for (size_t at = 0; at <= s.size(); at++) {
      size_t end = (text.size() / 64 + 1) * 64;
      if (end - at <= text.size())
        end += 64;
      text.append(end - at - text.size(), ' ');
      text += s;
      placed.push_back({&s, at});
      if (placed.size() == 1 << 16)
        check();
    }
  }
  check();
}

// Each string read in pieces of r bytes, in slots whose width is prime to
// r, so that where the reads cut a string turns from one string to the
// next.  Reads of one byte cut every string at every offset; the longer
// ones make the short blocks of 2 to 7 bytes meet each string somewhere.
void inpieces(const std::vector<int> &levels,
              const std::vector<std::string> &all, size_t longest) {
  for (size_t r = 1; r <= 7; r++) {
    size_t width = longest + 1;
    while (std::gcd(width, r) != 1)
      width++;
    std::string text;
    std::vector<Placed> placed;
    for (const std::string &s : all) {
      text += s + std::string(width - s.size(), ' ');
      placed.push_back({&s, 0});
    }
    agree(levels, text, 256, r, placed);
  }
}

} // namespace

TEST(Exhaustive, EveryStringAcrossEveryBlockEnd) {
  Levels levels;
  acrossblockends(levels.all, strings(FIRST, LONGEST));
  acrossblockends(levels.all, strings(SECOND, LONGEST2));
}

TEST(Exhaustive, EveryStringInReadsOfOneToSevenBytes) {
  Levels levels;
  inpieces(levels.all, strings(FIRST, LONGEST), LONGEST);
  inpieces(levels.all, strings(SECOND, LONGEST2), LONGEST2);
}

// The end of the input just after each string, the string across a block
// end: whatever a block leaves undecided is decided by the end.
TEST(Exhaustive, EveryShortStringAtTheEnd) {
  Levels levels;
  for (const std::string &s : strings(FIRST, 5)) {
    for (size_t at = 0; at <= s.size(); at++) {
      std::string text = std::string(64 - at, ' ') + s;
      std::string want = chain(text);
      for (int level : levels.all)
        for (size_t read : {100, 1})
          ASSERT_EQ(scanned(level, text, 100, {read}).text, want)
              << levelname[level] << " '" << s << "' at " << at << ", reads of "
              << read;
    }
  }
}

// Every count of tokens one block holds, from 1 to 32, of each class at
// each place in the run, and at each offset of the block: the levels that
// write four lines at a time take each count its own way, and past sixteen
// by a loop.
TEST(Exhaustive, EveryCountOfTokensInABlock) {
  const char *const kinds[] = {"a", "7", "0", "01"};
  Levels levels;
  for (size_t count = 1; count <= 32; count++) {
    for (size_t step : {0, 1, 3}) {
      for (size_t first = 0; first < 4; first++) {
        std::string run;
        for (size_t i = 0; i < count; i++)
          run += std::string(kinds[(first + i * step) % 4]) + ' ';
        if (run.size() > 64)
          continue;
        for (size_t at = 0; at + run.size() <= 64; at++) {
          std::string text = std::string(at, ';') + run +
                             std::string(64 - at - run.size(), ';') + "_";
          std::string want = chain(text);
          for (int level : levels.all)
            ASSERT_EQ(scanned(level, text, 200, {200}).text, want)
                << levelname[level] << " '" << text << "'";
        }
      }
    }
  }
}

// A run of letters and digits that fills whole blocks while a token may
// still start in it: the digits after a '0' turn decimal at an 8 or 9, and
// any digits turn into an identifier at a letter.  Every length of the
// first part, so the turn falls at each byte of a block, in a block that is
// letters and digits throughout.
TEST(Exhaustive, RunsThatTurnInsideWholeBlocks) {
  const struct {
    const char *first;
    char then, turn;
  } cases[] = {{"1", '1', 'x'}, {"0", '7', '8'}, {"0", '7', 'x'},
               {"9", '9', 'Z'}, {"x", '1', 'y'}, {"07", '7', '9'}};
  Levels levels;
  for (const auto &c : cases) {
    for (size_t n = 0; n < 200; n++) {
      std::string text =
          c.first + std::string(n, c.then) + std::string(130, c.turn) + ";";
      std::string want = chain(text);
      for (int level : levels.all)
        for (size_t read : {1000, 7})
          ASSERT_EQ(scanned(level, text, 1000, {read}).text, want)
              << levelname[level] << " '" << c.first << "' then " << n << " '"
              << c.then << "' then '" << c.turn << "', reads of " << read;
    }
  }
}
