// Temporary folders, reading workbooks back with the independent reader, and running the
// project's programs, for the tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "automation/text.h"

namespace brosk::testing {

namespace fs = std::filesystem;

// A new empty folder for the running test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() /
            ("brosk-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
             info->name() + "-" + std::to_string(counter()++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  std::u16string u16() const { return fromUtf8(path_.string()); }
  std::u16string u16(const std::string& name) const { return fromUtf8((path_ / name).string()); }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }
  fs::path path_;
};

struct ProcessResult {
  int status = -1;  // exit status
  std::string out;
  std::string err;
};

// Runs a command line through the shell, with `input` on its standard input.
inline ProcessResult run(const std::string& command, const std::string& input = "") {
  const fs::path dir = fs::temp_directory_path();
  const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(std::rand());
  const fs::path in = dir / ("brosk-in-" + tag), out = dir / ("brosk-out-" + tag),
                 err = dir / ("brosk-err-" + tag);
  std::ofstream(in, std::ios::binary) << input;
  const std::string line =
      command + " <'" + in.string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
  const int raw = std::system(line.c_str());
  auto slurp = [](const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  };
  ProcessResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  fs::remove(in);
  fs::remove(out);
  fs::remove(err);
  return result;
}

inline std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The cells of a workbook as the independent reader (scripts/xls-dump, over xlrd) sees
// them: one JSON object per cell, {"row", "col", "kind", "value"}, sorted. A file the
// reader rejects fails the test.
inline std::vector<nlohmann::json> readCells(const fs::path& file) {
  const ProcessResult r = run(std::string(BROSK_XLS_DUMP) + " " + quoted(file.string()));
  EXPECT_EQ(r.status, 0) << "the reader rejected " << file << ": " << r.err;
  std::vector<nlohmann::json> cells;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) cells.push_back(nlohmann::json::parse(line));
  return cells;
}

inline nlohmann::json textCell(int row, int col, const std::string& value) {
  return {{"row", row}, {"col", col}, {"kind", "text"}, {"value", value}};
}
inline nlohmann::json numberCell(int row, int col, double value) {
  return {{"row", row}, {"col", col}, {"kind", "number"}, {"value", value}};
}
// A date cell, as the reader gives its day: "2026-12-08".
inline nlohmann::json dateCell(int row, int col, const std::string& day) {
  return {{"row", row}, {"col", col}, {"kind", "date"}, {"value", day}};
}

inline std::vector<std::uint8_t> fileBytes(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace brosk::testing
