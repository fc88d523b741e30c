// The integer conversions on the rows of their table; the fuzz target checks them
// against an independent model on any bytes.
#include <string>

#include <gtest/gtest.h>

#include "runtime/integer_conversion.h"
#include "tests/support/data_table.h"

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

}  // namespace
}  // namespace dartcirc::testing
