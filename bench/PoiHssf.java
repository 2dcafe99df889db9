// The peer a developer would pick instead of brosk's engine, on the same cells as
// BM_LinesWorkbookCellsAndBytes (bench/xls_bench.cpp): Apache POI's HSSF builds the sheet
// of a 200-line order and writes the .xls file into memory. Prints the median time of one
// workbook in microseconds, from the medians of 15 timed rounds after a warm-up.
// Run by bench/compare.
import java.io.ByteArrayOutputStream;
import java.util.Arrays;
import org.apache.poi.hssf.usermodel.HSSFRow;
import org.apache.poi.hssf.usermodel.HSSFSheet;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;

public class PoiHssf {
  static int sink;

  static void workbook() throws Exception {
    try (HSSFWorkbook book = new HSSFWorkbook()) {
      HSSFSheet sheet = book.createSheet("Hoja1");
      for (int r = 1; r <= 200; ++r) {
        HSSFRow row = sheet.createRow(r - 1);
        row.createCell(0).setCellValue("9");
        row.createCell(1).setCellValue("9999");
        row.createCell(2).setCellValue(r);
        row.createCell(3).setCellValue(r == 1 ? "CABECERA" : "REF-" + r);
        row.createCell(4).setCellValue(r == 1
            ? "Modelo: Cocina Nova\r\nFrente: Roble natural\r\nTirador: Aluminio"
            : "Mueble bajo 60 cm dos cajones, acabado roble " + r);
        row.createCell(5).setCellValue(1);
        row.createCell(9).setCellValue(123.45 + r);
        row.createCell(10).setCellValue(123.45 + r);
        row.createCell(11).setCellValue("0");
        row.createCell(18).setCellValue("0");
      }
      ByteArrayOutputStream out = new ByteArrayOutputStream();
      book.write(out);
      sink += out.size();
    }
  }

  public static void main(String[] args) throws Exception {
    for (int i = 0; i < 3000; ++i) workbook();
    double[] rounds = new double[15];
    for (int k = 0; k < rounds.length; ++k) {
      final int n = 300;
      long start = System.nanoTime();
      for (int i = 0; i < n; ++i) workbook();
      rounds[k] = (System.nanoTime() - start) / 1000.0 / n;
    }
    Arrays.sort(rounds);
    System.out.printf("%.1f%n", rounds[rounds.length / 2]);
    if (sink == 0) System.exit(1);
  }
}
