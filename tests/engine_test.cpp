// The block engine at every level this processor has, against the
// recognizers over the checking stream: the same lines for the same bytes,
// however the bytes arrive.
#include <cerrno>
#include <cstring>
#include <random>

#include "check.h"
#include "classes.h"
#include "cpu.h"
#include "scan.h"

namespace {

Masks classifyat(int level, const unsigned char *p) {
  switch (level) {
#ifdef SCAN_X86
  case SSE2:
    return sse2::classify(p);
#endif
#ifdef __x86_64__
  case AVX2:
    return avx2::classify(p);
  case AVX512:
    return avx512::classify(p);
#endif
#ifdef SCAN_NEON
  case NEON:
    return neon::classify(p);
#endif
  default:
    return portable::classify(p);
  }
}

} // namespace

// Every byte value at every place in a block, so that a range off by one
// or a lane put in the wrong place shows.
TEST(Classes, EveryLevelAgreesWithTheGrammarForEveryByte) {
  Levels levels;
  unsigned char block[64 + 64];
  for (int level : levels.all) {
    if (level == PLAIN)
      continue;
    for (int shift = 0; shift < 256; shift++) {
      for (int i = 0; i < 128; i++)
        block[i] = static_cast<unsigned char>(shift + i);
      Masks m = classifyat(level, block);
      for (int i = 0; i < 64; i++) {
        SCOPED_TRACE(testing::Message() << levelname[level] << " byte "
                                        << int(block[i]) << " at " << i);
        ASSERT_EQ(m.letter >> i & 1, is(block[i], LETTER));
        ASSERT_EQ(m.digit >> i & 1, is(block[i], DIGIT));
        ASSERT_EQ(m.octal >> i & 1, is(block[i], OCTAL));
        ASSERT_EQ(m.zero >> i & 1, block[i] == '0');
      }
    }
  }
}

// Each kind of token, and each way one ends, placed at every offset of a
// block so that it starts, ends and is cut at each place, and read whole,
// a byte at a time, and in reads that cut it anywhere.
TEST(Levels, TokensAtEveryOffsetOfABlock) {
  const char *const tokens[] = {"a",  "Zz9",  "0",   "00", "07",  "08", "079",
                                "0a", "0778", "123", "1a", "9x9", "09", "0x1F"};
  const char *const after[] = {"", " ", "7", "8", "a", "_0"};
  Levels levels;
  for (int before = 0; before < 140; before++) {
    for (const char *tok : tokens) {
      for (const char *end : after) {
        std::string text = std::string(static_cast<size_t>(before), ';') + tok +
                           end + std::string(before % 7, '0');
        std::string want = chain(text);
        for (int level : levels.all) {
          for (const auto &reads :
               {std::vector<size_t>{1000}, std::vector<size_t>{1},
                std::vector<size_t>{3, 5, 7, 2}}) {
            ASSERT_EQ(scanned(level, text, 300, reads).text, want)
                << levelname[level] << " '" << text << "' first read "
                << reads[0];
          }
        }
      }
    }
  }
}

// A run that ends a block, blocks with no letter or digit at all, then a
// token at the first byte of a block: what the run left to carry must not
// reach across the empty blocks, nor a run within a block end it early.
TEST(Levels, NothingCarriesAcrossEmptyBlocks) {
  Levels levels;
  for (const char *end : {"1", "0", "07", "a", "a1"}) {
    for (const char *start : {"7", "0", "07", "08", "a", "9a"}) {
      for (size_t empty : {64, 128, 192}) {
        for (char fill : {' ', 'x'}) {
          std::string text = std::string(64 - strlen(end), fill) + end +
                             std::string(empty, ';') + start + " ";
          std::string want = chain(text);
          for (int level : levels.all)
            for (size_t reads : {1000, 64, 7})
              ASSERT_EQ(scanned(level, text, 300, {reads}).text, want)
                  << levelname[level] << " '" << text << "'";
        }
      }
    }
  }
}

// Runs of the characters the grammar turns on, short and long, so that
// they start and end at every place in a block and cross blocks.
static std::string runs(std::mt19937 &rng, size_t size) {
  static const char *const sets[] = {"0",  "01234567", "0123456789",
                                     "89", "aZ",       "azAZ09",
                                     " ",  "_@[`{",    "\n\xff\x80"};
  std::string text;
  while (text.size() < size) {
    std::string set = sets[rng() % std::size(sets)];
    size_t n = rng() % 4 ? 1 + rng() % 4 : rng() % 150;
    while (n-- > 0)
      text += set[rng() % set.size()];
    if (rng() % 16 == 0)
      text += '\0';
  }
  return text;
}

// Random texts through small buffers and reads of 1 to 7 bytes, so that
// every carry from block to block also crosses a refill.
TEST(Levels, RandomTextsInSmallPieces) {
  Levels levels;
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; round++) {
    std::string text = runs(rng, rng() % 500);
    std::string want = chain(text);
    std::vector<size_t> reads(1 + rng() % 5);
    for (size_t &n : reads)
      n = 1 + rng() % 7;
    for (int level : levels.all)
      for (size_t size : {1, 2, 7, 63, 64, 65, 200})
        ASSERT_EQ(scanned(level, text, size, reads).text, want)
            << levelname[level] << " size " << size << " '" << text << "'";
  }
}

// A read failure ends the input where it happens: the token it cuts is a
// token, but a '0' just before it has no class yet (the byte after it might
// have made it octal), and no line.
TEST(Levels, ReadFailureInTheMiddleOfAToken) {
  const std::pair<std::string, std::string> cases[] = {
      {"ab", "identifier\n"},
      {"abc 12", "identifier\ndecimal\n"},
      {"123", "decimal\n"},
      {"08", "decimal\ndecimal\n"},
      {"0 ", "decimal\n"},
      {"00", "octal\n"},
      // printf '07 ab', whose read after the '0' fails
      {"0", ""},
      {"x 0", "identifier\n"},
      {"1 0", "decimal\n"},
  };
  Levels levels;
  for (const auto &[text, want] : cases)
    for (int level : levels.all)
      for (size_t size : {1, 3, 100})
        EXPECT_EQ(scanned(level, text, size, {1, 2}, EIO).text, want)
            << levelname[level] << " '" << text << "'";
}

// Tokens far longer than the buffer are still single tokens.
TEST(Levels, LongTokensCrossManyRefills) {
  // Built by appends: g++ 12 at -O3 takes "x" + std::string for an
  // overlapping copy (a false -Wrestrict).
  std::string text = "x";
  text.append(100000, '7').append(" 0").append(100000, '7');
  text.append(" ").append(100000, '9');
  Levels levels;
  for (int level : levels.all)
    EXPECT_EQ(scanned(level, text, 16, {7}).text,
              "identifier\noctal\ndecimal\n")
        << levelname[level];
}

// Once the output has failed, the scan stops, and nothing more is handed to
// the sink, however often it is asked.
TEST(Levels, OutputFailureStopsTheScan) {
  std::string text;
  for (int i = 0; i < 20000; i++)
    text += "a 1 ";
  Levels levels;
  for (int level : levels.all) {
    Tiny in(text, 4096, {4096});
    EXPECT_TRUE(setlevel(level));
    static Out out;
    Collect c{{}, 100};
    init(out, collect, &c, CAP);
    EXPECT_FALSE(scan(in.s, out)) << levelname[level];
    EXPECT_EQ(out.err, ENOSPC);
    EXPECT_FALSE(flush(out));
    EXPECT_FALSE(put(out, ATEOF) && flush(out));
    EXPECT_EQ(c.calls, 1) << levelname[level];
    EXPECT_EQ(c.text, "");
    EXPECT_LT(in.t.pos, text.size()) << "read on after the output failed";
  }
}

// When a read may wait, the lines found so far go out before it; if they
// can't, the scan fails there, at every level, and reads nothing more: an
// output that failed is not the end of the input.
TEST(Levels, FailedFlushBeforeAWaitStopsTheScan) {
  Levels levels;
  for (int level : levels.all) {
    Tiny in("a 1 07 ", 4, {4});
    in.s.waits = true;
    EXPECT_TRUE(setlevel(level));
    static Out out;
    Collect c{{}, 0};
    init(out, collect, &c, CAP);
    EXPECT_FALSE(scan(in.s, out)) << levelname[level];
    EXPECT_EQ(out.err, ENOSPC) << levelname[level];
    EXPECT_EQ(c.calls, 1) << levelname[level];
    EXPECT_EQ(in.t.calls, 1) << "read on after the output failed";
  }
}

// A level lost (never chosen, or refused though the processor has it) would
// leave every other test passing at the levels that remain.
TEST(Levels, TheProcessorsBestIsChosen) {
  EXPECT_EQ(getlevel(), cpubest()) << levelname[getlevel()];
  static Out out;
  Collect c;
  init(out, collect, &c);
  Tiny in("a 1", 16, {16});
  EXPECT_TRUE(scan(in.s, out));
  EXPECT_EQ(levelran, cpubest()) << "ran " << levelran;
  for (int level = PLAIN; level < LEVELS; level++)
    EXPECT_EQ(haslevel(level), cpuhas(level)) << levelname[level];
}

// Blocks of 4, 5, 8, 16, 17, 32 and more tokens: the lines of a block are
// written four at a time, four whatever the count, sixteen past four, and
// sixteen more at a time past sixteen, so each count on either side of
// those steps is a case.
TEST(Levels, EveryCountOfTokensInABlock) {
  const char *const units[] = {"a ", "0 ", "07 ", "0a;", "08;", "9x ", "079"};
  Levels levels;
  for (const char *unit : units) {
    for (size_t count : {1, 3, 4, 5, 8, 15, 16, 17, 20, 21, 32, 33, 42}) {
      std::string block;
      for (size_t i = 0; i < count; i++)
        block += unit;
      // The tokens of the unit are counted by the recognizers, whatever
      // the unit yields; a block cut short only makes a smaller case.
      block.resize(std::min<size_t>(block.size(), 64), ';');
      block.resize(64, ';');
      std::string text = block;
      text.append(block).append(";").append(block);
      std::string want = chain(text);
      for (int level : levels.all)
        for (size_t size : {64, 300})
          ASSERT_EQ(scanned(level, text, size, {1000}).text, want)
              << levelname[level] << " '" << text << "'";
    }
  }
}

// As many lines as the input can make, through many buffers of output: each
// block must still fit in what is left of the buffer when it is written
// (the sanitizers' build sees a store past its end), and nothing is lost at
// the flushes.
TEST(Levels, DensestTextFillsTheOutputToItsEnd) {
  std::string text;
  for (int i = 0; i < 30000; i++)
    text += i % 3 ? "a " : "0a;07 ";
  std::string want = chain(text);
  Levels levels;
  for (int level : levels.all)
    for (size_t size : {4096, 65536})
      ASSERT_EQ(scanned(level, text, size, {size}).text, want)
          << levelname[level];
}

// Each level runs its own code, not another's that writes the same lines;
// a level the processor lacks, or none at all, is refused and changes
// nothing.
TEST(Levels, EachLevelRunsItsOwnCode) {
  Levels levels;
  for (int level = -1; level <= LEVELS; level++) {
    int before = getlevel();
    bool has = cpuhas(level);
    EXPECT_EQ(setlevel(level), has) << level;
    if (!has) {
      EXPECT_EQ(getlevel(), before) << level;
      continue;
    }
    EXPECT_EQ(scanned(level, "a 1", 16, {16}).text, "identifier\ndecimal\n");
    EXPECT_EQ(levelran, level) << levelname[level] << " ran " << levelran;
  }
}
