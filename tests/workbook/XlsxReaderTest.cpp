// The .xlsx reader against small workbooks zipped here: every kind of cell
// as a spreadsheet program writes it, XML a scanner can trip on (entities,
// line ends, CDATA, prefixes, parts larger than one read), files that must
// be refused, and the reading of only the columns an update uses, which must
// plan exactly what reading every cell plans.

#include "common/Errors.h"
#include "store/ActivityStore.h"
#include "support/TempDatabase.h"
#include "workbook/SheetReader.h"
#include "workbook/WorkbookUpdate.h"

#include <QFile>
#include <gtest/gtest.h>
#include <zip.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using namespace orvane;
using workbook::SheetRows;

namespace {

const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::string workbookXml()
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"") + kMain
           + "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
             "<sheets><sheet name=\"Grid\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
}

const char* const kRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>";

// Style 1 is a built-in date format, style 2 a date format of its own.
const char* const kStyles =
    "<styleSheet><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd hh:mm\"/></numFmts>"
    "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/></cellXfs></styleSheet>";

// 0 plain; 1 rich runs with a phonetic run; 2 entities and character
// references; 3 a CR LF as references; 4 a literal CR LF; 5 empty.
const char* const kShared =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst uniqueCount=\"6\">"
    "<si><t>plain</t></si>"
    "<si><r><rPr><b/></rPr><t>rich </t></r><r><t xml:space=\"preserve\">run</t></r>"
    "<rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh></si>"
    "<si><t>a &amp; b &lt;c&gt; &quot;&apos; &#233;&#x4E2D;</t></si>"
    "<si><t>one&#13;&#10;two</t></si>"
    "<si><t>lit\r\nbreak\rhere</t></si>"
    "<si/>"
    "</sst>";

std::string sheetXml(const std::string& rows)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"") + kMain
           + "\"><dimension ref=\"A1:Z9\"/><sheetData>" + rows + "</sheetData></worksheet>";
}

void writeZip(const QString& path, const std::map<std::string, std::string>& parts)
{
    int error = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, bytes] : parts) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        ASSERT_NE(source, nullptr);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
}

void writeXlsx(const QString& path, const std::string& sheet, const std::string& shared = kShared)
{
    writeZip(path, {{"xl/workbook.xml", workbookXml()},
                    {"xl/_rels/workbook.xml.rels", kRels},
                    {"xl/styles.xml", kStyles},
                    {"xl/sharedStrings.xml", shared},
                    {"xl/worksheets/sheet1.xml", sheet}});
}

using Cells = std::map<std::pair<int, int>, QString>;

// Every cell of the sheet that shows text, by (row, column).
Cells cellsOf(const SheetRows& sheet)
{
    Cells cells;
    for (int r = 0; r < sheet.rows.size(); ++r)
        for (int c = 0; c < sheet.rows.at(r).size(); ++c)
            if (!sheet.rows.at(r).at(c).isEmpty())
                cells[{r, c}] = sheet.rows.at(r).at(c);
    return cells;
}

class XlsxReaderTest : public ::testing::Test {
protected:
    QString file(const char* name) const { return dir.file(QString::fromLatin1(name)); }
    orvane::testing::TempWorkDir dir;
};

TEST_F(XlsxReaderTest, ReadsEveryKindOfCell)
{
    struct Case {
        const char* name;
        std::string rows;
        Cells expected;
    };
    const QString date = workbook::shownDate(workbook::dateFromSerial(45000.5));
    const std::vector<Case> cases = {
        {"shared strings",
         "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"0\" t=\"s\"><v>1</v></c>"
         "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v> 3 </v></c><c r=\"E1\" t=\"s\"><v>4</v></c>"
         "<c r=\"F1\" t=\"s\"><v>5</v></c></row>",
         {{{0, 0}, "plain"},
          {{0, 1}, "rich run"},
          {{0, 2}, QString::fromUtf8("a & b <c> \"' \xC3\xA9\xE4\xB8\xAD")},
          {{0, 3}, "one\r\ntwo"},
          {{0, 4}, "lit\nbreak\nhere"}}},
        {"numbers, booleans, errors, formula results, dates",
         "<row r=\"2\"><c r=\"A2\"><v>2.5</v></c><c r=\"B2\" t=\"n\"><v>-1E3</v></c><c r=\"C2\" t=\"b\"><v>1</v></c>"
         "<c r=\"D2\" t=\"b\"><v>0</v></c><c r=\"E2\" t=\"e\"><v>#DIV/0!</v></c>"
         "<c r=\"F2\" t=\"str\"><f>A2&amp;B2</f><v>calc &amp; more</v></c>"
         "<c r=\"G2\" s=\"1\"><v>45000.5</v></c><c r=\"H2\" s=\"2\"><v>45000.5</v></c>"
         "<c r=\"I2\" t=\"d\"><v>2026-01-05</v></c></row>",
         {{{1, 0}, workbook::shownNumber(2.5)},
          {{1, 1}, workbook::shownNumber(-1000)},
          {{1, 2}, "TRUE"},
          {{1, 3}, "FALSE"},
          {{1, 4}, "#DIV/0!"},
          {{1, 5}, "calc & more"},
          {{1, 6}, date},
          {{1, 7}, date},
          {{1, 8}, "2026-01-05"}}},
        {"inline strings, CDATA, styled empty cells, cells without references",
         "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>in&amp;line</t></is></c><c r=\"B3\" s=\"1\"/>"
         "<c r=\"C3\" s=\"1\"></c><c r=\"D3\" t=\"inlineStr\"><is><t><![CDATA[<raw> & ]]>more</t></is></c>"
         "<c t=\"inlineStr\"><is><r><t>next </t></r><r><t>one</t></r></is></c></row>"
         "<row><c t=\"inlineStr\"><is><t>row 4</t></is></c><c r = 'C4' t = 'inlineStr' ><is><t>x</t></is></c></row>",
         {{{2, 0}, "in&line"}, {{2, 3}, "<raw> & more"}, {{2, 4}, "next one"}, {{3, 0}, "row 4"}, {{3, 2}, "x"}}},
    };
    for (const Case& c : cases) {
        writeXlsx(file("kinds.xlsx"), sheetXml(c.rows));
        EXPECT_EQ(cellsOf(workbook::readFirstSheet(file("kinds.xlsx"))), c.expected) << c.name;
    }

    // Prefixed names, comments, a byte order mark, white space between rows.
    const std::string prefixed = std::string("\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- made by hand -->"
                                             "<x:worksheet xmlns:x=\"") + kMain + "\">\n <x:sheetData>\n  "
                                 "<x:row r=\"1\"><x:c r=\"B1\" t=\"s\"><x:v>0</x:v></x:c></x:row>\n"
                                 "  <!-- a <row> in a comment --><?pi data?>"
                                 "<x:row r=\"2\"><x:c r=\"A2\" t=\"inlineStr\"><x:is><x:t>p</x:t></x:is></x:c>"
                                 "</x:row>\n </x:sheetData>\n</x:worksheet>\n";
    writeXlsx(file("prefixed.xlsx"), prefixed);
    EXPECT_EQ(cellsOf(workbook::readFirstSheet(file("prefixed.xlsx"))),
              (Cells{{{0, 1}, "plain"}, {{1, 0}, "p"}}));

    // A part in UTF-16, as XML allows.
    const QString utf16Sheet = QString::fromStdString(
        sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>sixteen \xC3\xA9</t></is></c></row>"));
    std::string bytes("\xFF\xFE");
    bytes.append(reinterpret_cast<const char*>(utf16Sheet.utf16()), std::size_t(utf16Sheet.size()) * 2);
    writeXlsx(file("utf16.xlsx"), bytes);
    EXPECT_EQ(cellsOf(workbook::readFirstSheet(file("utf16.xlsx"))), (Cells{{{0, 0}, QString::fromUtf8("sixteen \xC3\xA9")}}));
}

TEST_F(XlsxReaderTest, PartsLargerThanOneReadComeWhole)
{
    // Far more than the scanner reads at once (1 MiB), with texts of every length,
    // so that tags, entities and texts fall across the ends of its reads.
    constexpr int kRows = 16000;
    std::string rows;
    Cells expected;
    QString longText;
    // The longest text a cell holds, written mostly as entities.
    for (int i = 0; longText.size() < workbook::kMaxCellChars; ++i)
        longText += QStringLiteral("&<>%1").arg(i);
    longText.truncate(workbook::kMaxCellChars);
    std::string longXml = longText.toStdString();
    for (std::size_t at = 0; (at = longXml.find_first_of("&<>", at)) != std::string::npos;) {
        const char* entity = longXml[at] == '&' ? "&amp;" : longXml[at] == '<' ? "&lt;" : "&gt;";
        longXml.replace(at, 1, entity);
        at += std::strlen(entity);
    }
    for (int r = 0; r < kRows; ++r) {
        const std::string n = std::to_string(r + 1);
        std::string text(std::size_t(r % 97), 'x');
        text += "&amp;" + n;
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>"
                + "<c r=\"B" + n + "\" s=\"0\"/><c r=\"C" + n + "\"><v>" + n + "</v></c>"
                + "<c r=\"D" + n + "\" t=\"s\"><v>" + std::to_string(r % 5) + "</v></c></row>";
        expected[{r, 0}] = QString(r % 97, 'x') + "&" + QString::fromStdString(n);
        expected[{r, 2}] = workbook::shownNumber(r + 1);
    }
    rows += "<row r=\"20000\"><c r=\"E20000\" t=\"inlineStr\"><is><t>" + longXml + "</t></is></c></row>";
    expected[{19999, 4}] = longText;
    const QStringList shared = {"plain", "rich run", QString::fromUtf8("a & b <c> \"' \xC3\xA9\xE4\xB8\xAD"),
                                "one\r\ntwo", "lit\nbreak\nhere"};
    for (int r = 0; r < kRows; ++r)
        expected[{r, 3}] = shared.at(r % 5);
    const std::string xml = sheetXml(rows);
    // The part more than two reads long.
    ASSERT_GT(xml.size(), std::size_t(2) << 20);
    writeXlsx(file("large.xlsx"), xml);
    EXPECT_EQ(cellsOf(workbook::readFirstSheet(file("large.xlsx"))), expected);
}

TEST_F(XlsxReaderTest, RefusesWhatItCannotReadSafely)
{
    struct Case {
        const char* name;
        std::string sheet;
    };
    const std::string ok = "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>";
    const std::string whole = sheetXml(ok);
    const std::vector<Case> cases = {
        {"cut short", whole.substr(0, whole.size() - 30)},
        {"tags out of order", sheetXml("<row r=\"1\"><c r=\"A1\"><v>1</c></v></row>")},
        {"an unknown entity", sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&nbsp;</t></is></c></row>")},
        {"a bad character reference",
         sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&#0;</t></is></c></row>")},
        {"a document type with entities",
         "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
             + whole.substr(whole.find("<worksheet"))},
        {"a shared string that does not exist", sheetXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>6</v></c></row>")},
        {"a row past the last", sheetXml("<row r=\"2000000\"><c t=\"inlineStr\"><is><t>x</t></is></c></row>")},
        {"a column past the last", sheetXml("<row r=\"1\"><c r=\"AAAAAAA1\" t=\"inlineStr\"><is><t>x</t></is></c></row>")},
        {"text beside the document", whole + "trailing"},
        {"a cell text one character over the limit",
         sheetXml("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + std::string(32767, 'x') + "</t><t>y</t></is></c></row>")},
        {"a cell value one character over the limit",
         sheetXml("<row r=\"1\"><c r=\"A1\" t=\"str\"><v>" + std::string(3 * 32767 + 1, 'x') + "</v></c></row>")},
    };
    for (const Case& c : cases) {
        writeXlsx(file("bad.xlsx"), c.sheet);
        EXPECT_THROW(workbook::readFirstSheet(file("bad.xlsx")), FormatError) << c.name;
    }
    writeXlsx(file("fine.xlsx"), whole);
    EXPECT_NO_THROW(workbook::readFirstSheet(file("fine.xlsx")));
}

TEST_F(XlsxReaderTest, CharactersBeyondSixteenBits)
{
    // A shared string as references and as UTF-8 comes back as one
    // surrogate pair; a reference to half a pair is no character at all.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    struct Case {
        const char* name;
        std::string shared;
        std::optional<QString> expected;   // nullopt: refused
    };
    const std::vector<Case> cases = {
        {"hexadecimal reference", "&#x1F600; &#128512;", emoji + " " + emoji},
        {"UTF-8", "\xF0\x9F\x98\x80!", emoji + "!"},
        {"half a surrogate pair", "&#xD83D;", std::nullopt},
    };
    const std::string sheet = sheetXml("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>");
    for (const Case& c : cases) {
        writeXlsx(file("wide.xlsx"), sheet, "<sst><si><t>" + c.shared + "</t></si></sst>");
        if (c.expected)
            EXPECT_EQ(workbook::readFirstSheet(file("wide.xlsx")).cell(0, 0), *c.expected) << c.name;
        else
            EXPECT_THROW(workbook::readFirstSheet(file("wide.xlsx")), FormatError) << c.name;
    }
}

TEST_F(XlsxReaderTest, CellsOutsideEveryRowAreLeftOut)
{
    // Found by the fuzz target: a cell before the first row, or in a row
    // numbered 0, was looked up at row -1 of the sheet.
    const std::string cell = "<c r=\"A1\" t=\"inlineStr\"><is><t>lost</t></is></c>";
    const std::string kept = "<row r=\"2\"><c r=\"B2\" t=\"inlineStr\"><is><t>kept</t></is></c></row>";
    struct Case {
        const char* name;
        std::string rows;
    };
    const std::vector<Case> cases = {
        {"a cell before the first row", cell + kept},
        {"a row numbered 0 after others", kept + "<row r=\"0\">" + cell + "</row>"},
        {"a row numbered 0 first", "<row r=\"0\">" + cell + "</row>" + kept},
    };
    for (const Case& c : cases) {
        writeXlsx(file("outside.xlsx"), sheetXml(c.rows));
        EXPECT_EQ(cellsOf(workbook::readFirstSheet(file("outside.xlsx"))), (Cells{{{1, 1}, "kept"}})) << c.name;
    }
}

class ReadForUpdateTest : public XlsxReaderTest {
protected:
    void SetUp() override
    {
        orvane::testing::insertRow({{"ActivityID", "A1"}, {"Description", "first"}, {"Log#1", "a1"}});
        orvane::testing::insertRow({{"ActivityID", "A2"}, {"Description", "second"}, {"Log#2", "b2"}});
        db.open();
    }
    store::Database db;
};

std::string inlineCell(const std::string& ref, const std::string& text)
{
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

TEST_F(ReadForUpdateTest, PlansExactlyWhatReadingEveryCellPlans)
{
    // Columns: A ActivityID, B OriginalDuration (read only as "shows text"),
    // C Log#1, D a caption of the user's, E Description.
    const std::string captions = "<row r=\"3\">" + inlineCell("A3", " ActivityID ") + inlineCell("B3", "OriginalDuration")
                                 + inlineCell("C3", "Log#1") + inlineCell("D3", "Comment") + inlineCell("E3", "Description")
                                 + "</row>";
    const std::string title = "<row r=\"1\">" + inlineCell("B1", "Site notes") + "</row>";
    const std::string data =
        "<row r=\"4\">" + inlineCell("A4", "A1") + "<c r=\"B4\"><v>5</v></c>" + inlineCell("C4", "a1 edited")
        + inlineCell("E4", "first") + "</row>"
        + "<row r=\"5\">" + inlineCell("A5", "A2") + inlineCell("D5", "mine") + inlineCell("E5", "second (site)") + "</row>"
        // Rows without an ID: content only where the update does not read,
        // white space only, a number only.
        + "<row r=\"6\">" + inlineCell("D6", "orphan note") + "</row>"
        + "<row r=\"7\">" + inlineCell("B7", "  ") + inlineCell("D7", " ") + "</row>"
        + "<row r=\"8\"><c r=\"B8\"><v>0</v></c></row>"
        + "<row r=\"9\">" + inlineCell("A9", "NEW") + inlineCell("C9", "x") + "</row>";
    struct Case {
        const char* name;
        std::string rows;
    };
    const std::vector<Case> cases = {
        {"rows in order", title + captions + data},
        // A caption row above the first one, coming late: the reader falls
        // back to reading every cell.
        {"rows out of order", captions + data + "<row r=\"2\">" + inlineCell("A2", "ActivityID") + inlineCell("C2", "Log#2")
                                  + "</row>"},
        {"the last row holding only what is not read", title + captions + data + "<row r=\"12\"><c r=\"B12\"><v>1</v></c></row>"},
    };
    for (const Case& c : cases) {
        writeXlsx(file("update.xlsx"), sheetXml(c.rows));
        const workbook::UpdatePlan all = workbook::planUpdate(workbook::readFirstSheet(file("update.xlsx")), db);
        const SheetRows chosen = workbook::readWorkbookForUpdate(file("update.xlsx")).sheet;
        const workbook::UpdatePlan plan = workbook::planUpdate(chosen, db);
        EXPECT_EQ(plan.previewLines().join("\n").toStdString(), all.previewLines().join("\n").toStdString()) << c.name;
        ASSERT_EQ(plan.changes.size(), all.changes.size()) << c.name;
        for (std::size_t i = 0; i < plan.changes.size(); ++i)
            EXPECT_EQ(std::tie(plan.changes[i].rowId, plan.changes[i].column, plan.changes[i].text),
                      std::tie(all.changes[i].rowId, all.changes[i].column, all.changes[i].text))
                << c.name;
    }
    // In order, the rows below the captions hold only the columns read.
    writeXlsx(file("update.xlsx"), sheetXml(title + captions + data));
    const workbook::UpdatePlan plan = workbook::planUpdate(workbook::readFirstSheet(file("update.xlsx")), db);
    EXPECT_EQ(plan.rowsWithoutId, 2);
    EXPECT_EQ(plan.activities, 2);
    const SheetRows chosen = workbook::readWorkbookForUpdate(file("update.xlsx")).sheet;
    EXPECT_EQ(chosen.cell(3, 1), QString());
    EXPECT_EQ(chosen.cell(4, 3), QString());
    EXPECT_EQ(chosen.cell(3, 2), "a1 edited");
    EXPECT_EQ(chosen.cell(0, 1), "Site notes");
    EXPECT_EQ(chosen.cell(2, 3), "Comment");
}

} // namespace
