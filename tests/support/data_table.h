// Tables of expected behaviour kept as text in tests/data/: one row a line, fields
// split at tabs, '#' lines and blank lines skipped, and the escapes \t \r \n \\ \0
// and \xHH decoded so that a field can hold any byte.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace dartcirc::testing {

using TableRow = std::vector<std::string>;

inline std::string Unescaped(const std::string& field) {
  std::string bytes;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i] == '\\' && i + 1 < field.size() ? field[++i] : 0;
    if (c == 'x') {
      bytes += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += c == 0 ? field[i] : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
    }
  }
  return bytes;
}

inline std::vector<TableRow> ReadTable(const std::string& name) {
  std::ifstream file(std::string(TESTS_SOURCE_DIR) + "/data/" + name);
  std::vector<TableRow> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    TableRow& row = rows.emplace_back();
    for (std::size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = line.find('\t', start);
      row.push_back(Unescaped(line.substr(start, tab - start)));
    }
  }
  if (rows.empty()) throw std::runtime_error("no rows in tests/data/" + name);
  return rows;
}

}  // namespace dartcirc::testing
