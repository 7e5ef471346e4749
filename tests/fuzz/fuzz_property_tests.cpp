// The fuzz targets over many generated inputs on every test run: lines that
// look like records with a fault here and there, and plain noise.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fuzz_targets.h"

namespace flash::testing {
namespace {

// A line that is nearly a record: the right first character and hex digits,
// with lengths, digits and line ends now and then wrong.
std::string NearlyARecord(std::mt19937& random) {
  static const char kFirst[] = {':', 'S', '#', ';', 'x', '\r'};
  static const char kDigits[] = "0123456789ABCDEFabcdefZ ";
  std::string line(1, kFirst[random() % sizeof kFirst]);
  if (line[0] == 'S') line += "0123456789"[random() % 10];
  if (line[0] == '#') line += "EGMUV>Q"[random() % 7];
  const std::size_t length = random() % 300;
  for (std::size_t i = 0; i < length; ++i) line += kDigits[random() % (sizeof kDigits - 1)];
  line += (random() % 4 == 0) ? "\n" : "\r\n";
  return line;
}

std::string Generated(std::mt19937& random, bool noise) {
  std::string text;
  const int lines = static_cast<int>(random() % 12);
  for (int i = 0; i < lines; ++i) {
    if (noise) {
      const std::size_t length = random() % 80;
      for (std::size_t j = 0; j < length; ++j) text += static_cast<char>(random() % 256);
    } else {
      text += NearlyARecord(random);
    }
  }
  return text;
}

using Target = bool (*)(const std::uint8_t*, std::size_t);

void Drive(Target target, int inputs, unsigned seed) {
  std::mt19937 random(seed);
  for (int i = 0; i < inputs; ++i) {
    const std::string input = Generated(random, i % 3 == 0);
    ASSERT_TRUE(target(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()))
        << "input " << i << ": " << ::testing::PrintToString(input);
  }
}

TEST(FuzzProperties, RecordReadersStayInsideTheirBuffers) { Drive(FuzzRecordLines, 5000, 1); }
TEST(FuzzProperties, EveryStreamedFileEnds) { Drive(FuzzRufFile, 400, 2); }
TEST(FuzzProperties, EveryRunEndsWhateverTheRadioSays) { Drive(FuzzReplies, 400, 3); }

}  // namespace
}  // namespace flash::testing
