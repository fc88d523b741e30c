// The integer conversions and the command-line splitter on the rows of their tables;
// the fuzz targets check both against independent models on any bytes. Index 0 and
// the joining of the argument vector into one command line.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "runtime/command_line.h"
#include "runtime/integer_conversion.h"
#include "tests/support/data_table.h"
#include "tests/support/fake_platform.h"

namespace dartcirc::testing {
namespace {

TEST(IntegerConversion, ValuesAndErrorPositionsOfTheTable) {
  for (const TableRow& row : ReadTable("integer_conversions.tsv")) {
    const Int32Conversion narrow = ParseInt32(row[0]);
    const Int64Conversion wide = ParseInt64(row[0]);
    EXPECT_EQ(std::to_string(narrow.value) + " " + std::to_string(narrow.errorPosition) + " " +
                  std::to_string(wide.value) + " " + std::to_string(wide.errorPosition),
              row[1] + " " + row[2] + " " + row[3] + " " + row[4])
        << "<" << row[0] << ">";
  }
}

TEST(CommandLine, ArgumentsOfTheTable) {
  for (const TableRow& row : ReadTable("command_lines.tsv")) {
    FakePlatformScope scope;
    scope.fake.commandLine = row[0];
    std::vector<std::string> arguments;
    for (std::int32_t index = 1; index <= ArgumentCount(); ++index) arguments.push_back(ArgumentText(index));
    EXPECT_EQ(arguments, std::vector<std::string>(row.begin() + 1, row.end())) << row[0];
  }
}

TEST(CommandLine, IndexZeroIsTheModulePathCutTo260Bytes) {
  FakePlatformScope scope;
  EXPECT_EQ(ArgumentText(0), "/opt/dartcirc/dartcirc");
  scope.fake.moduleFileName = std::string(300, 'p');
  EXPECT_EQ(ArgumentText(0), std::string(260, 'p'));
  char cut[9];  // the real call cuts and terminates too
  ASSERT_EQ(PosixPlatform.getModuleFileNameA(cut, sizeof cut), 8u);
  EXPECT_EQ(std::string(cut).size(), 8u);
}

TEST(CommandLine, ArgumentVectorIsJoinedWithQuotesWhereNeeded) {
  const char* const arguments[] = {"dartcirc", "1000 1000000", "", "a\tb", "\x01", "x\x7f\xff"};
  EXPECT_EQ(JoinCommandLine(6, arguments), "dartcirc \"1000 1000000\" \"\" \"a\tb\" \"\x01\" x\x7f\xff");
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> elements;
  for (std::string element; std::getline(file, element, '\0');) elements.push_back(element);
  std::vector<const char*> argv;
  for (const std::string& element : elements) argv.push_back(element.c_str());
  EXPECT_EQ(PosixPlatform.getCommandLineA(), JoinCommandLine(static_cast<int>(argv.size()), argv.data()));
}

}  // namespace
}  // namespace dartcirc::testing
