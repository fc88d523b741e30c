// Tables of expected behaviour kept as text in tests/data/: one row a line, fields
// split at tabs, '#' lines and blank lines skipped, and the escapes \t \r \n \0,
// \xHH and a doubled backslash decoded so that a field can hold any byte.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace dartcirc::testing {

using TableRow = std::vector<std::string>;

inline std::vector<TableRow> ReadTable(const std::string& name) {
  std::ifstream file(std::string(TESTS_SOURCE_DIR) + "/data/" + name);
  std::vector<TableRow> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    TableRow& row = rows.emplace_back(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\t') {
        row.emplace_back();
      } else if (line[i] != '\\' || i + 1 == line.size()) {
        row.back() += line[i];
      } else if (line[++i] == 'x') {
        row.back() += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        const char c = line[i];
        row.back() += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
      }
    }
  }
  if (rows.empty()) throw std::runtime_error("no rows in tests/data/" + name);
  return rows;
}

}  // namespace dartcirc::testing
