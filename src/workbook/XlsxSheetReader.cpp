// The first worksheet of an Office Open XML workbook: the zip container
// through libzip; the small parts through QXmlStreamReader, the shared
// strings and the worksheet, which can be hundreds of megabytes, streamed
// through XmlScanner. Reads shared strings
// (rich text runs joined, phonetic runs left out), inline strings, formula
// results, booleans, errors, and numbers with their cell format, so that a
// number formatted as a date comes back as a date.

#include "workbook/SheetReader.h"

#include "common/Errors.h"
#include "workbook/XmlScanner.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <zip.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <string>
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

    // A part read piece by piece, for the scanner; refused when it is, or
    // turns out while read to be, larger than kMaxPartBytes.
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
        XmlScanner::Source source()
        {
            return [this](char* into, long long size) -> long long {
                if (!m_pending.isEmpty()) {
                    const qsizetype n = std::min<qsizetype>(qsizetype(size), m_pending.size());
                    std::memcpy(into, m_pending.constData(), size_t(n));
                    m_pending.remove(0, n);
                    return n;
                }
                const long long got = (long long)zip_fread(m_file, into, zip_uint64_t(size));
                m_read += std::max(got, 0LL);
                // The sizes a zip declares can lie: what comes out is counted.
                if (m_read > kMaxPartBytes)
                    throw XmlScanner::Malformed{tooLarge()};
                return got;
            };
        }

    private:
        zip_file_t* m_file = nullptr;
        QByteArray m_pending;
        long long m_read = 0;
    };

private:
    QString m_fileName;
    zip_t* m_zip = nullptr;
};

void checkXml(const QXmlStreamReader& xml, const QString& fileName, const QString& part)
{
    if (xml.hasError())
        fail(fileName, QStringLiteral("%1: %2").arg(part, xml.errorString()));
}

// Part names in relationships are relative to the folder of the part that
// owns them ("xl/"), or absolute ("/xl/worksheets/sheet1.xml").
QString resolvePart(const QString& target)
{
    if (target.startsWith(QLatin1Char('/')))
        return target.mid(1);
    QString path = QStringLiteral("xl/") + target;
    return QDir::cleanPath(path);
}

struct WorkbookInfo {
    QString firstSheetPart;
    QString namedSheetPart;   // empty when no sheet has the name asked for
    bool date1904 = false;
};

QString relationshipId(const QXmlStreamReader& xml)
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
    {
        QXmlStreamReader xml(zip.read(QStringLiteral("xl/workbook.xml")));
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"workbookPr") {
                const QStringView v = xml.attributes().value(QStringLiteral("date1904"));
                info.date1904 = v == u"1" || v == u"true";
            } else if (xml.name() == u"sheet") {
                if (!anySheet)
                    firstRel = relationshipId(xml);
                else if (!sheetName.isEmpty() && namedRel.isEmpty()
                         && xml.attributes().value(QStringLiteral("name")) == sheetName)
                    namedRel = relationshipId(xml);
                anySheet = true;
            }
        }
        checkXml(xml, fileName, QStringLiteral("xl/workbook.xml"));
    }
    if (firstRel.isEmpty())
        fail(fileName, QStringLiteral("the workbook has no worksheet"));
    QXmlStreamReader rels(zip.read(QStringLiteral("xl/_rels/workbook.xml.rels")));
    while (!rels.atEnd()) {
        if (rels.readNext() != QXmlStreamReader::StartElement || rels.name() != u"Relationship")
            continue;
        const QStringView id = rels.attributes().value(QStringLiteral("Id"));
        if (id == firstRel)
            info.firstSheetPart = resolvePart(rels.attributes().value(QStringLiteral("Target")).toString());
        else if (!namedRel.isEmpty() && id == namedRel)
            info.namedSheetPart = resolvePart(rels.attributes().value(QStringLiteral("Target")).toString());
    }
    checkXml(rels, fileName, QStringLiteral("xl/_rels/workbook.xml.rels"));
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
// runs (<rPh>). The scanner stands on the start element; it ends on its end.
QString stringItem(XmlScanner& xml)
{
    QString text;
    if (xml.isEmptyElement())
        return text;
    int depthInPhonetic = 0;
    int depth = 1;
    while (depth > 0) {
        switch (xml.next()) {
        case XmlScanner::Token::StartElement:
            if (xml.isEmptyElement())
                break;
            ++depth;
            if (xml.name() == "rPh") {
                depthInPhonetic = depth;
            } else if (xml.name() == "t" && depthInPhonetic == 0) {
                for (;;) {
                    const XmlScanner::Token token = xml.next();
                    if (token == XmlScanner::Token::EndElement)
                        break;
                    if (token != XmlScanner::Token::Characters)
                        throw XmlScanner::Malformed{QStringLiteral("a text holds an element")};
                    xml.appendText(text);
                    if (text.size() > kMaxCellChars)
                        throw XmlScanner::Malformed{cellTooLong()};
                }
                --depth;
            }
            break;
        case XmlScanner::Token::EndElement:
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

// A part in UTF-16 (allowed, never seen from spreadsheet programs) is read
// whole and handed to the scanner as UTF-8; a UTF-8 part is streamed.
XmlScanner::Source utf8Source(const ZipArchive& zip, const QString& part, ZipArchive::Stream& stream)
{
    const QByteArray head = stream.peek(2);
    const bool utf16 = head.size() == 2 && (head == "\xFF\xFE" || head == "\xFE\xFF" || head.at(0) == '\0'
                                            || head.at(1) == '\0');
    if (!utf16)
        return stream.source();
    const QByteArray bytes = zip.read(part);
    QStringDecoder decode(head == "\xFE\xFF" || head.at(0) == '\0' ? QStringConverter::Utf16BE
                                                                  : QStringConverter::Utf16LE,
                          QStringDecoder::Flag::Stateless);
    auto utf8 = std::make_shared<QByteArray>(QString(decode(bytes)).toUtf8());
    auto at = std::make_shared<qsizetype>(0);
    return [utf8, at](char* into, long long size) {
        const long long n = std::min<long long>(size, utf8->size() - *at);
        std::memcpy(into, utf8->constData() + *at, size_t(n));
        *at += n;
        return n;
    };
}

// Runs a scan of a part, turning its XML faults into FormatError.
template <typename Scan>
void scanPart(const ZipArchive& zip, const QString& fileName, const QString& part, Scan scan)
{
    ZipArchive::Stream stream(zip, part);
    try {
        XmlScanner xml(utf8Source(zip, part, stream));
        scan(xml);
    } catch (const XmlScanner::Malformed& e) {
        fail(fileName, QStringLiteral("%1: %2").arg(part, e.why));
    }
}

int wholeNumber(std::string_view text, bool* ok = nullptr);

QStringList readSharedStrings(const ZipArchive& zip, const QString& fileName, HeldMemory& held)
{
    QStringList strings;
    const QString part = QStringLiteral("xl/sharedStrings.xml");
    if (!zip.has(part))
        return strings;
    scanPart(zip, fileName, part, [&](XmlScanner& xml) {
        for (;;) {
            const XmlScanner::Token token = xml.next();
            if (token == XmlScanner::Token::EndDocument)
                break;
            if (token != XmlScanner::Token::StartElement)
                continue;
            if (xml.name() == "si") {
                strings.append(stringItem(xml));
                held.takeText(strings.back().size());
            }
            else if (xml.name() == "sst")
                // A count too large to be true only costs a little memory.
                strings.reserve(std::min(wholeNumber(xml.attribute("uniqueCount")), 1 << 16));
        }
    });
    return strings;
}

// For each cell format (the s attribute of a cell), whether it shows a date.
std::vector<bool> readDateStyles(const ZipArchive& zip, const QString& fileName)
{
    std::vector<bool> dateStyles;
    const QByteArray bytes = zip.read(QStringLiteral("xl/styles.xml"), false);
    if (bytes.isEmpty())
        return dateStyles;
    QHash<int, QString> codes;
    QXmlStreamReader xml(bytes);
    bool inCellXfs = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == u"numFmt")
                codes.insert(xml.attributes().value(QStringLiteral("numFmtId")).toInt(),
                             xml.attributes().value(QStringLiteral("formatCode")).toString());
            else if (xml.name() == u"cellXfs")
                inCellXfs = true;
            else if (inCellXfs && xml.name() == u"xf") {
                const int id = xml.attributes().value(QStringLiteral("numFmtId")).toInt();
                dateStyles.push_back(isDateFormat(id, codes.value(id)));
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs") {
            inCellXfs = false;
        }
    }
    checkXml(xml, fileName, QStringLiteral("xl/styles.xml"));
    return dateStyles;
}

// The most rows and columns a worksheet has; references beyond them are
// refused rather than grown into.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// "BC12" -> column 54 (from 0); -1 when the reference has no letters,
// kMaxColumns when it names a column past the last.
int columnOfReference(std::string_view ref)
{
    int column = 0;
    int letters = 0;
    for (const char c : ref) {
        if (c >= 'A' && c <= 'Z')
            column = column * 26 + (c - 'A' + 1);
        else if (c >= 'a' && c <= 'z')
            column = column * 26 + (c - 'a' + 1);
        else
            break;
        if (column > kMaxColumns)
            return kMaxColumns;
        ++letters;
    }
    return letters ? column - 1 : -1;
}

// A whole number as QString::toInt reads it (0 when it is none).
int wholeNumber(std::string_view text, bool* ok)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) {
        if (ok)
            *ok = true;
        return value;
    }
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toInt(ok);
}

// A number as QString::toDouble reads it.
double realNumber(std::string_view text, bool* ok)
{
    if (!text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string_view::npos
        && text.front() != '+') {
        double value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc() && end == text.data() + text.size()) {
            *ok = true;
            return value;
        }
    }
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toDouble(ok);
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string_view trimmedView(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

struct SheetContext {
    const QString& fileName;
    const WorkbookInfo& info;
    const QStringList& shared;
    const std::vector<bool>& dateStyles;
};

// One cell as read: its type attribute, style, <v> text and <is> text.
struct CellRead {
    std::string type;
    int style = 0;
    std::string value;
    bool haveValue = false;
    QString inlineText;
    bool haveInline = false;
};

QString textOf(const CellRead& cell, const SheetContext& context)
{
    const std::string& type = cell.type;
    if (type == "inlineStr")
        return cell.inlineText;
    if (type == "s") {
        bool ok = false;
        const int index = wholeNumber(cell.value, &ok);
        if (!ok || index < 0 || index >= context.shared.size())
            fail(context.fileName, QStringLiteral("a cell names a shared string that does not exist"));
        return context.shared.at(index);
    }
    if (type == "str" || type == "e")
        return fromUtf8(cell.value);
    if (type == "b")
        return trimmedView(cell.value) == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (cell.haveValue) {
        bool ok = false;
        const double number = realNumber(cell.value, &ok);
        if (!ok)
            return fromUtf8(cell.value);
        const int style = cell.style;
        if (style >= 0 && size_t(style) < context.dateStyles.size() && context.dateStyles[size_t(style)])
            return shownDate(dateFromSerial(context.info.date1904 ? number + 1462 : number));
        return shownNumber(number);
    }
    if (cell.haveInline)
        return cell.inlineText;
    return QString();
}

// Reads the children of a <c> element up to its end.
void readCell(XmlScanner& xml, CellRead& cell)
{
    int depth = 1;
    while (depth > 0) {
        switch (xml.next()) {
        case XmlScanner::Token::StartElement:
            if (xml.name() == "v") {
                cell.value = xml.elementText();
                cell.haveValue = true;
            } else if (xml.name() == "is") {
                cell.inlineText = stringItem(xml);
                cell.haveInline = true;
            } else if (!xml.isEmptyElement()) {
                ++depth;
            }
            break;
        case XmlScanner::Token::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
}

void readSheet(XmlScanner& xml, const SheetContext& context, SheetBuilder& sheet)
{
    int row = -1;
    int nextColumn = 0;
    CellRead cell;
    for (;;) {
        const XmlScanner::Token token = xml.next();
        if (token == XmlScanner::Token::EndDocument)
            return;
        if (token == XmlScanner::Token::EndElement) {
            if (xml.name() == "row")
                sheet.endRow(row);
            continue;
        }
        if (token != XmlScanner::Token::StartElement)
            continue;
        if (xml.name() == "row") {
            const std::string r = xml.attribute("r");
            row = r.empty() ? row + 1 : wholeNumber(r) - 1;
            if (row >= kMaxRows)
                fail(context.fileName, QStringLiteral("a row lies past the last row of a worksheet"));
            nextColumn = 0;
            if (xml.isEmptyElement())
                sheet.endRow(row);
            continue;
        }
        if (xml.name() != "c")
            continue;
        // Entities in these attributes are unheard of, but read right all the same.
        std::string_view ref;
        std::string decoded[3];
        xml.rawAttributes({{"r", &ref}});
        if (ref.find('&') != std::string_view::npos)
            ref = decoded[0] = xml.attribute("r");
        const int refColumn = columnOfReference(ref);
        const int column = refColumn >= 0 ? refColumn : nextColumn;
        if (column >= kMaxColumns)
            fail(context.fileName, QStringLiteral("a cell lies past the last column of a worksheet"));
        nextColumn = column + 1;
        // A cell without content (only a style) shows nothing.
        if (xml.isEmptyElement())
            continue;
        const bool wanted = sheet.wants(row, column);
        if (!wanted && !sheet.needsOther(row)) {
            xml.skipElement();
            continue;
        }
        std::string_view type, style;
        xml.rawAttributes({{"t", &type}, {"s", &style}});
        if (type.find('&') != std::string_view::npos)
            type = decoded[1] = xml.attribute("t");
        if (style.find('&') != std::string_view::npos)
            style = decoded[2] = xml.attribute("s");
        cell.type.assign(type);
        cell.style = style.empty() ? 0 : wholeNumber(style);
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
    scanPart(zip, context.fileName, part, [&](XmlScanner& xml) { readSheet(xml, context, sheet); });
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
