// The first worksheet of an Office Open XML workbook: the zip container
// through libzip, its parts through QXmlStreamReader (XmlPartReader); the
// shared strings and the worksheet, which can be hundreds of megabytes,
// streamed out of the zip, the small parts read whole. Reads shared strings
// (rich text runs joined, phonetic runs left out), inline strings, formula
// results, booleans, errors, and numbers with their cell format, so that a
// number formatted as a date comes back as a date.

#include "workbook/SheetReader.h"

#include "common/Errors.h"
#include "workbook/XmlPartReader.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <zip.h>

#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

namespace orvane::workbook {

namespace {

[[noreturn]] void fail(const QString& fileName, const QString& why)
{
    throw FormatError(QStringLiteral("Cannot read the workbook '%1': %2.")
                          .arg(QDir::toNativeSeparators(fileName), why));
}

class ZipArchive {
public:
    explicit ZipArchive(const QString& fileName) : m_fileName(fileName)
    {
        int error = 0;
        m_zip = zip_open(QFile::encodeName(fileName).constData(), ZIP_RDONLY, &error);
        if (!m_zip) {
            zip_error_t e;
            zip_error_init_with_code(&e, error);
            const QString why = QString::fromUtf8(zip_error_strerror(&e));
            zip_error_fini(&e);
            fail(fileName, why);
        }
    }
    ~ZipArchive() { zip_discard(m_zip); }
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool has(const QString& name) const
    {
        return zip_name_locate(m_zip, name.toUtf8().constData(), 0) >= 0;
    }

    // The bytes of a part, at most kMaxWholePartBytes; an absent part is
    // an error when required.
    QByteArray read(const QString& name, bool required = true) const
    {
        const QByteArray utf8 = name.toUtf8();
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(m_zip, utf8.constData(), 0, &st) != 0) {
            if (required)
                fail(m_fileName, QStringLiteral("the part '%1' is missing").arg(name));
            return {};
        }
        if (!(st.valid & ZIP_STAT_SIZE) || st.size > zip_uint64_t(kMaxWholePartBytes))
            fail(m_fileName, QStringLiteral("the part '%1' is larger than the %2 MiB Orvane reads of it")
                                 .arg(name)
                                 .arg(kMaxWholePartBytes >> 20));
        zip_file_t* file = zip_fopen(m_zip, utf8.constData(), 0);
        if (!file)
            fail(m_fileName, QString::fromUtf8(zip_strerror(m_zip)));
        QByteArray bytes;
        bytes.resize(qsizetype(st.size));
        const zip_int64_t got = zip_fread(file, bytes.data(), st.size);
        zip_fclose(file);
        if (got < 0 || zip_uint64_t(got) != st.size)
            fail(m_fileName, QStringLiteral("the part '%1' cannot be read").arg(name));
        return bytes;
    }

    // A part read piece by piece; refused when it is, or turns out while
    // read to be, larger than kMaxPartBytes.
    class Stream {
    public:
        Stream(const ZipArchive& zip, const QString& name)
        {
            const QByteArray utf8 = name.toUtf8();
            zip_stat_t st;
            zip_stat_init(&st);
            if (zip_stat(zip.m_zip, utf8.constData(), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE)
                && st.size > zip_uint64_t(kMaxPartBytes))
                fail(zip.m_fileName, QStringLiteral("%1: %2").arg(name, tooLarge()));
            m_file = zip_fopen(zip.m_zip, utf8.constData(), 0);
            if (!m_file)
                fail(zip.m_fileName, QString::fromUtf8(zip_strerror(zip.m_zip)));
        }
        static QString tooLarge()
        {
            return QStringLiteral("the part is larger than the %1 GiB Orvane reads of it").arg(kMaxPartBytes >> 30);
        }
        ~Stream() { zip_fclose(m_file); }
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        // The first bytes, which source() then gives again.
        QByteArray peek(qsizetype size)
        {
            m_pending.resize(size);
            const zip_int64_t got = zip_fread(m_file, m_pending.data(), zip_uint64_t(size));
            m_pending.resize(got < 0 ? 0 : qsizetype(got));
            return m_pending;
        }
        XmlPartReader::Source source()
        {
            return [this](char* into, qint64 size) -> qint64 {
                if (!m_pending.isEmpty()) {
                    const qsizetype n = std::min<qsizetype>(qsizetype(size), m_pending.size());
                    std::memcpy(into, m_pending.constData(), size_t(n));
                    m_pending.remove(0, n);
                    return n;
                }
                const qint64 got = zip_fread(m_file, into, zip_uint64_t(size));
                m_read += std::max<qint64>(got, 0);
                // The sizes a zip declares can lie: what comes out is counted.
                if (m_read > kMaxPartBytes)
                    throw XmlPartReader::Malformed{tooLarge()};
                return got;
            };
        }

    private:
        zip_file_t* m_file = nullptr;
        QByteArray m_pending;
        qint64 m_read = 0;
    };

private:
    QString m_fileName;
    zip_t* m_zip = nullptr;
};

// Runs a scan of a part's XML, turning its faults into FormatError.
template <typename Scan>
void scanXml(const QString& fileName, const QString& part, XmlPartReader::Source source, Scan scan)
{
    try {
        XmlPartReader xml(std::move(source));
        scan(xml);
    } catch (const XmlPartReader::Malformed& e) {
        fail(fileName, QStringLiteral("%1: %2").arg(part, e.why));
    }
}

// A part's bytes held whole, as a source.
XmlPartReader::Source bytesSource(QByteArray bytes)
{
    return [bytes = std::move(bytes), at = qsizetype(0)](char* into, qint64 size) mutable -> qint64 {
        const qint64 n = std::min<qint64>(size, bytes.size() - at);
        std::memcpy(into, bytes.constData() + at, std::size_t(n));
        at += qsizetype(n);
        return n;
    };
}

// A small part read whole (ZipArchive::read).
template <typename Scan>
void scanBytes(const QString& fileName, const QString& part, QByteArray bytes, Scan scan)
{
    scanXml(fileName, part, bytesSource(std::move(bytes)), scan);
}

// A part in UTF-16 (allowed, never seen from spreadsheet programs) is read
// whole and handed to the parser as UTF-8, whatever its XML declaration
// says; a UTF-8 part is streamed.
XmlPartReader::Source utf8Source(const ZipArchive& zip, const QString& part, ZipArchive::Stream& stream)
{
    const QByteArray head = stream.peek(2);
    const bool utf16 = head.size() == 2 && (head == "\xFF\xFE" || head == "\xFE\xFF" || head.at(0) == '\0'
                                            || head.at(1) == '\0');
    if (!utf16)
        return stream.source();
    QStringDecoder decode(head == "\xFE\xFF" || head.at(0) == '\0' ? QStringConverter::Utf16BE
                                                                  : QStringConverter::Utf16LE,
                          QStringDecoder::Flag::Stateless);
    return bytesSource(QString(decode(zip.read(part))).toUtf8());
}

// A part streamed out of the zip: the shared strings and the worksheets.
template <typename Scan>
void scanPart(const ZipArchive& zip, const QString& fileName, const QString& part, Scan scan)
{
    ZipArchive::Stream stream(zip, part);
    scanXml(fileName, part, utf8Source(zip, part, stream), scan);
}

// Part names in relationships are relative to the folder of the part that
// owns them ("xl/"), or absolute ("/xl/worksheets/sheet1.xml").
QString resolvePart(QStringView target)
{
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1).toString();
    return QDir::cleanPath(QStringLiteral("xl/") + target.toString());
}

struct WorkbookInfo {
    QString firstSheetPart;
    QString namedSheetPart;   // empty when no sheet has the name asked for
    bool date1904 = false;
};

// The r:id of a <sheet>, whatever prefix its namespace has.
QString relationshipId(const XmlPartReader& xml)
{
    for (const QXmlStreamAttribute& a : xml.attributes())
        if (a.name() == u"id")
            return a.value().toString();
    return QString();
}

// The workbook's settings, the part of its first worksheet and that of the
// worksheet of a name, if asked for.
WorkbookInfo readWorkbookInfo(const ZipArchive& zip, const QString& fileName, const QString& sheetName)
{
    WorkbookInfo info;
    QString firstRel, namedRel;
    bool anySheet = false;
    const QString workbookPart = QStringLiteral("xl/workbook.xml");
    scanBytes(fileName, workbookPart, zip.read(workbookPart), [&](XmlPartReader& xml) {
        for (QXmlStreamReader::TokenType token; (token = xml.next()) != QXmlStreamReader::EndDocument;) {
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"workbookPr") {
                const QStringView v = xml.attribute("date1904");
                info.date1904 = v == u"1" || v == u"true";
            } else if (xml.name() == u"sheet") {
                if (!anySheet)
                    firstRel = relationshipId(xml);
                else if (!sheetName.isEmpty() && namedRel.isEmpty() && xml.attribute("name") == sheetName)
                    namedRel = relationshipId(xml);
                anySheet = true;
            }
        }
    });
    if (firstRel.isEmpty())
        fail(fileName, QStringLiteral("the workbook has no worksheet"));
    const QString relsPart = QStringLiteral("xl/_rels/workbook.xml.rels");
    scanBytes(fileName, relsPart, zip.read(relsPart), [&](XmlPartReader& xml) {
        for (QXmlStreamReader::TokenType token; (token = xml.next()) != QXmlStreamReader::EndDocument;) {
            if (token != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
                continue;
            const QStringView id = xml.attribute("Id");
            if (id == firstRel)
                info.firstSheetPart = resolvePart(xml.attribute("Target"));
            else if (!namedRel.isEmpty() && id == namedRel)
                info.namedSheetPart = resolvePart(xml.attribute("Target"));
        }
    });
    if (info.firstSheetPart.isEmpty() || !zip.has(info.firstSheetPart))
        fail(fileName, QStringLiteral("the first worksheet is missing"));
    if (!namedRel.isEmpty() && (info.namedSheetPart.isEmpty() || !zip.has(info.namedSheetPart)))
        fail(fileName, QStringLiteral("the worksheet '%1' is missing").arg(sheetName));
    return info;
}

QString cellTooLong()
{
    return QStringLiteral("a cell's text is longer than the %L1 characters a cell holds").arg(kMaxCellChars);
}

// The text of an <si> or <is> element: its <t> texts, leaving out phonetic
// runs (<rPh>). The reader stands on the start element; it ends on its end.
QString stringItem(XmlPartReader& xml)
{
    QString text;
    int depthInPhonetic = 0;
    int depth = 1;
    while (depth > 0) {
        switch (xml.next()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == u"rPh") {
                depthInPhonetic = depth;
            } else if (xml.name() == u"t" && depthInPhonetic == 0) {
                text += xml.elementText(kMaxCellChars - text.size(), cellTooLong());
                --depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == depthInPhonetic)
                depthInPhonetic = 0;
            --depth;
            break;
        default:
            break;
        }
    }
    return text;
}

int wholeNumber(QStringView text, bool* ok = nullptr);

QStringList readSharedStrings(const ZipArchive& zip, const QString& fileName, HeldMemory& held)
{
    QStringList strings;
    const QString part = QStringLiteral("xl/sharedStrings.xml");
    if (!zip.has(part))
        return strings;
    scanPart(zip, fileName, part, [&](XmlPartReader& xml) {
        for (QXmlStreamReader::TokenType token; (token = xml.next()) != QXmlStreamReader::EndDocument;) {
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"si") {
                strings.append(stringItem(xml));
                held.takeText(strings.back().size());
            } else if (xml.name() == u"sst") {
                // A count too large to be true only costs a little memory.
                strings.reserve(std::min(wholeNumber(xml.attribute("uniqueCount")), 1 << 16));
            }
        }
    });
    return strings;
}

// For each cell format (the s attribute of a cell), whether it shows a date.
std::vector<bool> readDateStyles(const ZipArchive& zip, const QString& fileName)
{
    std::vector<bool> dateStyles;
    const QString part = QStringLiteral("xl/styles.xml");
    QByteArray bytes = zip.read(part, false);
    if (bytes.isEmpty())
        return dateStyles;
    QHash<int, QString> codes;
    scanBytes(fileName, part, std::move(bytes), [&](XmlPartReader& xml) {
        bool inCellXfs = false;
        for (QXmlStreamReader::TokenType token; (token = xml.next()) != QXmlStreamReader::EndDocument;) {
            if (token == QXmlStreamReader::StartElement) {
                if (xml.name() == u"numFmt") {
                    codes.insert(xml.attribute("numFmtId").toInt(), xml.attribute("formatCode").toString());
                } else if (xml.name() == u"cellXfs") {
                    inCellXfs = true;
                } else if (inCellXfs && xml.name() == u"xf") {
                    const int id = xml.attribute("numFmtId").toInt();
                    dateStyles.push_back(isDateFormat(id, codes.value(id)));
                }
            } else if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs") {
                inCellXfs = false;
            }
        }
    });
    return dateStyles;
}

// The most rows and columns a worksheet has; references beyond them are
// refused rather than grown into.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// "BC12" -> column 54 (from 0); -1 when the reference has no letters,
// kMaxColumns when it names a column past the last.
int columnOfReference(QStringView ref)
{
    int column = 0;
    int letters = 0;
    for (const QChar qc : ref) {
        const char16_t c = qc.unicode();
        if (c >= u'A' && c <= u'Z')
            column = column * 26 + (c - u'A' + 1);
        else if (c >= u'a' && c <= u'z')
            column = column * 26 + (c - u'a' + 1);
        else
            break;
        if (column > kMaxColumns)
            return kMaxColumns;
        ++letters;
    }
    return letters ? column - 1 : -1;
}

// The text in `buffer` as ASCII when it is short and made of the
// characters a number is written with; empty otherwise. std::from_chars
// reads such a text far quicker than QString's locale-aware conversions.
std::string_view plainNumberText(QStringView text, char (&buffer)[64])
{
    if (text.isEmpty() || text.size() > qsizetype(sizeof buffer))
        return {};
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!((c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || c == u'-' || c == u'+'))
            return {};
        buffer[i] = char(c);
    }
    return std::string_view(buffer, std::size_t(text.size()));
}

// A whole number as QString::toInt reads it (0 when it is none).
int wholeNumber(QStringView text, bool* ok)
{
    char buffer[64];
    const std::string_view plain = plainNumberText(text, buffer);
    int value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (!plain.empty() && ec == std::errc() && end == plain.data() + plain.size()) {
        if (ok)
            *ok = true;
        return value;
    }
    return text.toInt(ok);
}

// A number as QString::toDouble reads it.
double realNumber(QStringView text, bool* ok)
{
    char buffer[64];
    const std::string_view plain = plainNumberText(text, buffer);
    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (!plain.empty() && ec == std::errc() && end == plain.data() + plain.size()) {
        *ok = true;
        return value;
    }
    return text.toDouble(ok);
}

struct SheetContext {
    const QString& fileName;
    const WorkbookInfo& info;
    const QStringList& shared;
    const std::vector<bool>& dateStyles;
};

// The kinds of cell the t attribute names; Number stands also for those
// read as numbers when they are ("n", "d", none or unknown).
enum class CellType { Number, SharedString, InlineString, Text, Boolean };

CellType cellType(QStringView t)
{
    if (t == u"s")
        return CellType::SharedString;
    if (t == u"inlineStr")
        return CellType::InlineString;
    if (t == u"str" || t == u"e")
        return CellType::Text;
    if (t == u"b")
        return CellType::Boolean;
    return CellType::Number;
}

// One cell as read: its type, style, <v> text and <is> text.
struct CellRead {
    CellType type = CellType::Number;
    int style = 0;
    QString value;
    bool haveValue = false;
    QString inlineText;
    bool haveInline = false;
};

QString textOf(const CellRead& cell, const SheetContext& context)
{
    // A cell without content (only a style) shows nothing, whatever its type.
    if (!cell.haveValue && !cell.haveInline)
        return QString();
    switch (cell.type) {
    case CellType::InlineString:
        return cell.inlineText;
    case CellType::SharedString: {
        bool ok = false;
        const int index = wholeNumber(cell.value, &ok);
        if (!ok || index < 0 || index >= context.shared.size())
            fail(context.fileName, QStringLiteral("a cell names a shared string that does not exist"));
        return context.shared.at(index);
    }
    case CellType::Text:
        return cell.value;
    case CellType::Boolean:
        return cell.value.trimmed() == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case CellType::Number:
        break;
    }
    if (!cell.haveValue)
        return cell.inlineText;
    bool ok = false;
    const double number = realNumber(cell.value, &ok);
    if (!ok)
        return cell.value;
    const int style = cell.style;
    if (style >= 0 && size_t(style) < context.dateStyles.size() && context.dateStyles[size_t(style)])
        return shownDate(dateFromSerial(context.info.date1904 ? number + 1462 : number));
    return shownNumber(number);
}

// Reads the children of a <c> element up to its end.
void readCell(XmlPartReader& xml, CellRead& cell)
{
    int depth = 1;
    while (depth > 0) {
        switch (xml.next()) {
        case QXmlStreamReader::StartElement:
            if (xml.name() == u"v") {
                cell.value = xml.elementText(kMaxCellChars, cellTooLong());
                cell.haveValue = true;
            } else if (xml.name() == u"is") {
                cell.inlineText = stringItem(xml);
                cell.haveInline = true;
            } else {
                ++depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
}

void readSheet(XmlPartReader& xml, const SheetContext& context, SheetBuilder& sheet)
{
    int row = -1;
    int nextColumn = 0;
    CellRead cell;
    for (QXmlStreamReader::TokenType token; (token = xml.next()) != QXmlStreamReader::EndDocument;) {
        if (token == QXmlStreamReader::EndElement) {
            if (xml.name() == u"row")
                sheet.endRow(row);
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            const QStringView r = xml.attribute("r");
            row = r.isEmpty() ? row + 1 : wholeNumber(r) - 1;
            if (row >= kMaxRows)
                fail(context.fileName, QStringLiteral("a row lies past the last row of a worksheet"));
            nextColumn = 0;
            continue;
        }
        if (xml.name() != u"c")
            continue;
        const int refColumn = columnOfReference(xml.attribute("r"));
        const int column = refColumn >= 0 ? refColumn : nextColumn;
        if (column >= kMaxColumns)
            fail(context.fileName, QStringLiteral("a cell lies past the last column of a worksheet"));
        nextColumn = column + 1;
        const bool wanted = sheet.wants(row, column);
        if (!wanted && !sheet.needsOther(row)) {
            xml.skipElement();
            continue;
        }
        cell.type = cellType(xml.attribute("t"));
        const QStringView style = xml.attribute("s");
        cell.style = style.isEmpty() ? 0 : wholeNumber(style);
        cell.value.clear();
        cell.haveValue = false;
        cell.inlineText.clear();
        cell.haveInline = false;
        readCell(xml, cell);
        const QString text = textOf(cell, context);
        if (!wanted)
            sheet.other(row, text);
        else if (!text.isEmpty())
            sheet.put(row, column, text);
    }
}

SheetRows readSheetPart(const ZipArchive& zip, const SheetContext& context, const QString& part,
                        const CellChoice& choice, HeldMemory& held)
{
    SheetBuilder sheet(choice, held);
    scanPart(zip, context.fileName, part, [&](XmlPartReader& xml) { readSheet(xml, context, sheet); });
    if (!sheet.followedChoice())
        return readSheetPart(zip, context, part, CellChoice{}, held);
    return sheet.take();
}

} // namespace

SheetAndNamedSheet readXlsxSheets(const QString& fileName, const CellChoice& choice, const QString& sheetName)
{
    const ZipArchive zip(fileName);
    const WorkbookInfo info = readWorkbookInfo(zip, fileName, sheetName);
    HeldMemory held(fileName);
    const QStringList shared = readSharedStrings(zip, fileName, held);
    const std::vector<bool> dateStyles = readDateStyles(zip, fileName);
    const SheetContext context{fileName, info, shared, dateStyles};
    SheetAndNamedSheet sheets{readSheetPart(zip, context, info.firstSheetPart, choice, held), std::nullopt};
    if (!info.namedSheetPart.isEmpty())
        sheets.named = readSheetPart(zip, context, info.namedSheetPart, CellChoice{}, held);
    return sheets;
}

SheetRows readXlsxSheet(const QString& fileName, const CellChoice& choice)
{
    return readXlsxSheets(fileName, choice, QString()).first;
}

} // namespace orvane::workbook
