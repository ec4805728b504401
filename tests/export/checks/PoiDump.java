// Reads .xls files with Apache POI and prints what it sees, one item a line,
// for poi_read.py to compare with xlrd:
//   FILE <path>
//   SHEET <name> <last row index>
//   PANE <frozen 0/1> <rows frozen> <first row below>      (when there are panes)
//   NAME <name> <formula>
//   MERGED <first row> <last row> <first column> <last column>
//   CELL <row> <column> S <text>   or   N <number>   or   B <true/false>
//   SHAPE <sheet> <kind> <first column> <first row> <last column> <last row>   (drawing objects, per sheet)
// Texts escape backslash, tab, CR and LF. Blank cells are not listed.
import java.io.File;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

import org.apache.poi.hssf.usermodel.HSSFClientAnchor;
import org.apache.poi.hssf.usermodel.HSSFPatriarch;
import org.apache.poi.hssf.usermodel.HSSFShape;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;
import org.apache.poi.hssf.usermodel.HSSFSheet;
import org.apache.poi.poifs.filesystem.POIFSFileSystem;
import org.apache.poi.ss.usermodel.Cell;
import org.apache.poi.ss.usermodel.Name;
import org.apache.poi.ss.usermodel.Row;
import org.apache.poi.ss.util.CellRangeAddress;
import org.apache.poi.ss.util.PaneInformation;

public class PoiDump {
    static String escape(String s) {
        StringBuilder b = new StringBuilder(s.length());
        for (int i = 0; i < s.length(); ++i) {
            char c = s.charAt(i);
            switch (c) {
            case '\\': b.append("\\\\"); break;
            case '\t': b.append("\\t"); break;
            case '\n': b.append("\\n"); break;
            case '\r': b.append("\\r"); break;
            default: b.append(c);
            }
        }
        return b.toString();
    }

    public static void main(String[] args) throws Exception {
        PrintStream out = new PrintStream(System.out, false, "UTF-8");
        for (String path : args) {
            out.println("FILE\t" + path);
            try (POIFSFileSystem fs = new POIFSFileSystem(new File(path), true);
                 HSSFWorkbook book = new HSSFWorkbook(fs.getRoot(), true)) {
                HSSFSheet sheet = book.getSheetAt(0);
                out.println("SHEET\t" + escape(sheet.getSheetName()) + "\t" + sheet.getLastRowNum());
                PaneInformation pane = sheet.getPaneInformation();
                if (pane != null)
                    out.println("PANE\t" + (pane.isFreezePane() ? 1 : 0) + "\t" + pane.getHorizontalSplitPosition()
                                + "\t" + pane.getHorizontalSplitTopRow());
                for (Name name : book.getAllNames())
                    out.println("NAME\t" + name.getNameName() + "\t" + name.getRefersToFormula());
                for (int i = 0; i < sheet.getNumMergedRegions(); ++i) {
                    CellRangeAddress r = sheet.getMergedRegion(i);
                    out.println("MERGED\t" + r.getFirstRow() + "\t" + r.getLastRow() + "\t" + r.getFirstColumn()
                                + "\t" + r.getLastColumn());
                }
                // Reading the drawing parses its records and objects whole.
                for (int i = 0; i < book.getNumberOfSheets(); ++i) {
                    HSSFPatriarch drawing = book.getSheetAt(i).getDrawingPatriarch();
                    if (drawing == null)
                        continue;
                    for (HSSFShape shape : drawing.getChildren()) {
                        HSSFClientAnchor a = (HSSFClientAnchor) shape.getAnchor();
                        out.println("SHAPE\t" + i + "\t" + shape.getClass().getSimpleName() + "\t" + a.getCol1() + "\t"
                                    + a.getRow1() + "\t" + a.getCol2() + "\t" + a.getRow2());
                    }
                }
                for (Row row : sheet) {
                    for (Cell cell : row) {
                        String where = "CELL\t" + cell.getRowIndex() + "\t" + cell.getColumnIndex() + "\t";
                        switch (cell.getCellType()) {
                        case STRING: out.println(where + "S\t" + escape(cell.getStringCellValue())); break;
                        case NUMERIC: out.println(where + "N\t" + cell.getNumericCellValue()); break;
                        case BOOLEAN: out.println(where + "B\t" + cell.getBooleanCellValue()); break;
                        case BLANK: break;
                        default: out.println(where + "?\t" + cell.getCellType()); break;
                        }
                    }
                }
            }
        }
        out.flush();
    }
}
