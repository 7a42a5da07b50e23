// Tests that skip, and tests that fail after a skip or after printing what
// a skip prints, for the test `skips` (skips.sh), which runs them under a
// ctest of its own with SCANDEC_SKIPCHECK set.  Without it, as in the suite
// itself, every one of them passes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool checking() { return std::getenv("SCANDEC_SKIPCHECK") != nullptr; }

bool running(const char *test) {
  return checking() && std::string(GTEST_FLAG_GET(filter)) == test;
}

// The global set-up skips as the end-to-end suites skip a level the
// processor lacks, where GoogleTest counts the tests it keeps from running
// as passed; the tear-down fails after the test has printed its skip.
struct Global : testing::Environment {
  void SetUp() override {
    if (running("Skips.InTheGlobalSetUp"))
      GTEST_SKIP() << "asked to";
  }
  void TearDown() override {
    if (running("Skips.NotWhenTheRunFailsAfterTheSkip"))
      ADD_FAILURE() << "failed after the test skipped";
  }
};

testing::Environment *const global =
    testing::AddGlobalTestEnvironment(new Global);

TEST(Skips, Passes) {}

TEST(Skips, InTheTest) {
  if (checking())
    GTEST_SKIP() << "asked to";
}

TEST(Skips, InTheGlobalSetUp) {}

TEST(Skips, NotAfterPrintingTheSkipTextAndFailing) {
  if (!checking())
    return;
  std::printf("%s:%d: Skipped\n", __FILE__, __LINE__);
  std::fflush(stdout);
  ADD_FAILURE() << "failed after printing the skip text";
}

TEST(Skips, NotWhenTheRunFailsAfterTheSkip) {
  if (checking())
    GTEST_SKIP() << "asked to";
}

} // namespace
