// Fuzz target: the spreadsheet engine. Random cells (positions inside and outside the
// sheet, texts of any UTF-16 code units and lengths, any doubles) make a workbook; the
// same cells must give the same bytes, and a refused cell must leave the sheet as it
// was. With BROSK_FUZZ_WRITE set to a folder, each workbook is written there with the
// cells it should hold (NAME.xls, NAME.jsonl), for the independent reader to check.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "automation/error.h"
#include "automation/text.h"
#include "xls/workbook.h"

using namespace brosk;

namespace {

void writeSample(const char* folder, const xls::Sheet& sheet,
                 const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hash = 1469598103934665603ull;
  for (const std::uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
  const std::string base = std::string(folder) + "/" + std::to_string(hash);
  if (FILE* f = std::fopen((base + ".xls").c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  if (FILE* f = std::fopen((base + ".jsonl").c_str(), "wb")) {
    for (const xls::Cell& cell : sheet.cells()) {
      nlohmann::json line = {{"row", xls::Sheet::rowOf(cell.key) + 1},
                             {"col", xls::Sheet::columnOf(cell.key) + 1}};
      if (cell.kind == xls::Cell::Kind::Text) {
        line["kind"] = "text";
        line["value"] = toUtf8(sheet.text(cell));
      } else {
        line["kind"] = "number";
        line["value"] = cell.number;
      }
      const std::string text = line.dump() + "\n";
      std::fwrite(text.data(), 1, text.size(), f);
    }
    std::fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  xls::Sheet sheet;
  for (int n = 0; n < 3000 && input.remaining_bytes() > 0; ++n) {
    const int kind = input.ConsumeIntegralInRange(0, 3);
    const bool nearOrigin = input.ConsumeBool();
    const int row =
        nearOrigin ? input.ConsumeIntegralInRange(1, 300) : input.ConsumeIntegralInRange(-2, 65540);
    const int column =
        nearOrigin ? input.ConsumeIntegralInRange(1, 20) : input.ConsumeIntegralInRange(-2, 260);
    const std::size_t before = sheet.cells().size();
    try {
      if (kind == 0) {
        sheet.setNumber(row, column, input.ConsumeFloatingPoint<double>());
      } else {
        std::u16string text;
        const std::size_t length = kind == 3 ? input.ConsumeIntegralInRange<std::size_t>(0, 40000)
                                             : input.ConsumeIntegralInRange<std::size_t>(0, 40);
        const std::string units =
            input.ConsumeBytesAsString(std::min(length * 2, input.remaining_bytes()));
        for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
          text.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(units[i]) |
                                               static_cast<std::uint8_t>(units[i + 1]) << 8));
        }
        if (kind == 3) text.resize(length, u'x');
        sheet.setText(row, column, std::move(text));
      }
    } catch (const RuntimeError& e) {
      if (sheet.cells().size() != before) std::abort();  // a refused cell changed the sheet
      if (e.number() != 5 && e.number() != 6 && e.number() != 9) std::abort();
    }
  }
  const std::vector<std::uint8_t> bytes = xls::xlsFile(sheet);
  if (bytes.size() % 512 != 0 || bytes.size() < 512 * 10 || bytes[0] != 0xD0) std::abort();
  if (xls::xlsFile(sheet) != bytes) std::abort();
  if (const char* folder = std::getenv("BROSK_FUZZ_WRITE")) writeSample(folder, sheet, bytes);
  return 0;
}
