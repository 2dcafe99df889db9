// brosk-xls OUT.xls [CELLS.jsonl]: writes cells given as JSON lines into an Excel 97-2003
// workbook through brosk's engine. One cell per line, rows and columns from 1:
//   {"row": 1, "col": 1, "kind": "text", "value": "0"}
//   {"row": 2, "col": 3, "kind": "number", "value": 0.12}
// Blank lines are skipped. Exit status: 0 written; 1 bad input or the engine refused
// (nothing written); 2 usage.
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "automation/error.h"
#include "automation/text.h"
#include "xls/workbook.h"

namespace {

using nlohmann::json;

struct BadInput {
  std::string message;
};

int integerField(const json& cell, const char* name) {
  if (!cell.contains(name) || !cell[name].is_number_integer()) {
    throw BadInput{std::string("\"") + name + "\" must be a whole number"};
  }
  const auto v = cell[name].get<std::int64_t>();
  if (v < -2147483647 || v > 2147483647)
    throw BadInput{std::string("\"") + name + "\" out of range"};
  return static_cast<int>(v);
}

void addCell(brosk::xls::Sheet& sheet, const std::string& line) {
  json cell;
  try {
    cell = json::parse(line);
  } catch (const json::parse_error& e) {
    throw BadInput{std::string("not valid JSON: ") + e.what()};
  }
  if (!cell.is_object()) throw BadInput{"expected an object"};
  const int row = integerField(cell, "row");
  const int col = integerField(cell, "col");
  if (!cell.contains("kind") || !cell["kind"].is_string())
    throw BadInput{"\"kind\" must be a text"};
  const std::string kind = cell["kind"];
  if (!cell.contains("value")) throw BadInput{"\"value\" is missing"};
  const json& value = cell["value"];
  if (kind == "text") {
    if (!value.is_string()) throw BadInput{"a text cell needs a text \"value\""};
    sheet.setText(row, col, brosk::fromUtf8(value.get<std::string>()));
  } else if (kind == "number") {
    if (!value.is_number()) throw BadInput{"a number cell needs a number \"value\""};
    sheet.setNumber(row, col, value.get<double>());
  } else {
    throw BadInput{"\"kind\" must be \"text\" or \"number\", not \"" + kind + "\""};
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::string(argv[1]).empty() || argv[1][0] == '-') {
    std::cerr
        << "usage: brosk-xls OUT.xls [CELLS.jsonl]   (cells from standard input when no file)\n";
    return 2;
  }
  const std::string out = argv[1];
  std::ifstream file;
  if (argc == 3) {
    file.open(argv[2], std::ios::binary);
    if (!file) {
      std::cerr << "brosk-xls: " << argv[2] << ": cannot be opened\n";
      return 1;
    }
  }
  std::istream& in = argc == 3 ? static_cast<std::istream&>(file) : std::cin;
  const std::string source = argc == 3 ? argv[2] : "standard input";

  brosk::xls::Sheet sheet;
  std::string line;
  long number = 0;
  try {
    while (std::getline(in, line)) {
      ++number;
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      addCell(sheet, line);
    }
    if (in.bad()) {
      std::cerr << "brosk-xls: " << source << ": cannot be read\n";
      return 1;
    }
    number = 0;
    brosk::xls::saveXls(brosk::systemFileSystem(), brosk::fromUtf8(out), sheet);
  } catch (const BadInput& e) {
    std::cerr << "brosk-xls: " << source << ", line " << number << ": " << e.message << "\n";
    return 1;
  } catch (const brosk::RuntimeError& e) {
    if (number > 0)
      std::cerr << "brosk-xls: " << source << ", line " << number << ": ";
    else
      std::cerr << "brosk-xls: " << out << ": ";
    std::cerr << "error " << e.number() << ": " << brosk::toUtf8(e.description()) << "\n";
    return 1;
  }
  return 0;
}
