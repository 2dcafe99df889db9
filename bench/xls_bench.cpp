// Speed of the spreadsheet engine: building the bytes of the two workbooks of an order
// of 200 lines, and saving them (which includes flushing the file to disk), through one
// writer as a link's two workbooks are (xls::Writer keeps its buffers). Each also
// counts the minor page faults per iteration ("faults"): a writer that takes fresh memory
// from the system for every workbook pays a fault for every page it touches.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "automation/text.h"
#include "xls/workbook.h"

namespace {

using namespace brosk;

long minorFaults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

// Runs `body` once per iteration and reports the page faults per iteration.
template <typename Body>
void measured(benchmark::State& state, Body body) {
  const long before = minorFaults();
  for (auto _ : state) body();
  state.counters["faults"] = benchmark::Counter(static_cast<double>(minorFaults() - before),
                                                benchmark::Counter::kAvgIterations);
}

xls::Sheet linesSheet(int rows) {
  xls::Sheet sheet;
  for (int r = 1; r <= rows; ++r) {
    sheet.setText(r, 1, u"9");
    sheet.setText(r, 2, u"9999");
    sheet.setNumber(r, 3, r);
    sheet.setText(r, 4, r == 1 ? u"CABECERA" : u"REF-" + decimal(r));
    sheet.setText(r, 5,
                  r == 1 ? u"Modelo: Cocina Nova\r\nFrente: Roble natural\r\nTirador: Aluminio"
                         : u"Mueble bajo 60 cm dos cajones, acabado roble " + decimal(r));
    sheet.setNumber(r, 6, 1);
    sheet.setNumber(r, 10, 123.45 + r);
    sheet.setNumber(r, 11, 123.45 + r);
    sheet.setText(r, 12, u"0");
    sheet.setText(r, 19, u"0");
  }
  return sheet;
}

xls::Sheet headerSheet() {
  xls::Sheet sheet;
  sheet.setText(1, 1, u"9");
  sheet.setText(1, 2, u"9999");
  sheet.setText(1, 3, u"Muebles Martínez e Hijos, S.L.");
  sheet.setText(1, 4, u"12/08/2026");
  sheet.setText(1, 7, u"4711");
  sheet.setText(1, 8, u"");
  sheet.setText(1, 14, u"0");
  sheet.setText(1, 17, u"GEN");
  for (int c : {18, 45, 48, 51, 62}) sheet.setNumber(1, c, 1234.56);
  sheet.setText(1, 71, u"0");
  return sheet;
}

void BM_LinesWorkbookBytes(benchmark::State& state) {
  const xls::Sheet sheet = linesSheet(200);
  xls::Writer writer;
  measured(state, [&] { benchmark::DoNotOptimize(writer.file(sheet)); });
}
BENCHMARK(BM_LinesWorkbookBytes)->Unit(benchmark::kMicrosecond);

void BM_LinesWorkbookCellsAndBytes(benchmark::State& state) {
  xls::Writer writer;
  measured(state, [&] { benchmark::DoNotOptimize(writer.file(linesSheet(200))); });
}
BENCHMARK(BM_LinesWorkbookCellsAndBytes)->Unit(benchmark::kMicrosecond);

void BM_HeaderWorkbookBytes(benchmark::State& state) {
  xls::Writer writer;
  measured(state, [&] { benchmark::DoNotOptimize(writer.file(headerSheet())); });
}
BENCHMARK(BM_HeaderWorkbookBytes)->Unit(benchmark::kMicrosecond);

void BM_LinesWorkbookSaved(benchmark::State& state) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("brosk-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::u16string path = fromUtf8((dir / "LPS.xls").string());
  const xls::Sheet sheet = linesSheet(200);
  xls::Writer writer;
  measured(state, [&] { xls::saveXls(writer, systemFileSystem(), path, sheet); });
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LinesWorkbookSaved)->Unit(benchmark::kMicrosecond);

}  // namespace
