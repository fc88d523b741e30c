// Runs a fuzz target as an ordinary test: every input of its committed corpus, then
// pseudo-random inputs whose bytes favour those the parsers look at.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int RandomInputs = 10'000;
#else
constexpr int RandomInputs = 100'000;
#endif

void Feed(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(FuzzTarget, HoldsOnItsCorpusAndOnRandomInputs) {
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FUZZ_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    Feed({std::istreambuf_iterator<char>(file), {}});
    ++seeds;
  }
  EXPECT_GT(seeds, 0);
  static const char favoured[] = " \t\r\n\"\x1A\x82\x00$xX+-0123456789aAfF";
  std::mt19937 random(20261207);
  for (int round = 0; round < RandomInputs; ++round) {
    std::string input(random() % 48, '\0');
    for (char& byte : input) {
      byte = random() % 2 ? favoured[random() % (sizeof favoured - 1)] : static_cast<char>(random());
    }
    Feed(input);
  }
}

}  // namespace
