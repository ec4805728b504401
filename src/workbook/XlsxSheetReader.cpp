// The first worksheet of an Office Open XML workbook: the zip container
// through libzip, its parts through QXmlStreamReader. Reads shared strings
// (rich text runs joined, phonetic runs left out), inline strings, formula
// results, booleans, errors, and numbers with their cell format, so that a
// number formatted as a date comes back as a date.

#include "workbook/SheetReader.h"

#include "common/Errors.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>
#include <zip.h>

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

    // The bytes of a part; an absent part is an error when required.
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
    bool date1904 = false;
};

WorkbookInfo readWorkbookInfo(const ZipArchive& zip, const QString& fileName)
{
    WorkbookInfo info;
    QString firstSheetRel;
    {
        QXmlStreamReader xml(zip.read(QStringLiteral("xl/workbook.xml")));
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"workbookPr") {
                const QStringView v = xml.attributes().value(QStringLiteral("date1904"));
                info.date1904 = v == u"1" || v == u"true";
            } else if (xml.name() == u"sheet" && firstSheetRel.isEmpty()) {
                for (const QXmlStreamAttribute& a : xml.attributes())
                    if (a.name() == u"id")
                        firstSheetRel = a.value().toString();
            }
        }
        checkXml(xml, fileName, QStringLiteral("xl/workbook.xml"));
    }
    if (firstSheetRel.isEmpty())
        fail(fileName, QStringLiteral("the workbook has no worksheet"));
    QXmlStreamReader rels(zip.read(QStringLiteral("xl/_rels/workbook.xml.rels")));
    while (!rels.atEnd()) {
        if (rels.readNext() == QXmlStreamReader::StartElement && rels.name() == u"Relationship"
            && rels.attributes().value(QStringLiteral("Id")) == firstSheetRel)
            info.firstSheetPart = resolvePart(rels.attributes().value(QStringLiteral("Target")).toString());
    }
    checkXml(rels, fileName, QStringLiteral("xl/_rels/workbook.xml.rels"));
    if (info.firstSheetPart.isEmpty() || !zip.has(info.firstSheetPart))
        fail(fileName, QStringLiteral("the first worksheet is missing"));
    return info;
}

// The text of an <si> or <is> element: its <t> texts, leaving out phonetic
// runs (<rPh>). The reader stands on the start element; it ends on its end.
QString stringItem(QXmlStreamReader& xml)
{
    QString text;
    int depthInPhonetic = 0;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == u"rPh")
                depthInPhonetic = depth;
            else if (xml.name() == u"t" && depthInPhonetic == 0)
                text += xml.readElementText(), --depth;
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

QStringList readSharedStrings(const ZipArchive& zip, const QString& fileName)
{
    QStringList strings;
    const QByteArray bytes = zip.read(QStringLiteral("xl/sharedStrings.xml"), false);
    if (bytes.isEmpty())
        return strings;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
            strings.append(stringItem(xml));
    }
    checkXml(xml, fileName, QStringLiteral("xl/sharedStrings.xml"));
    return strings;
}

// Whether a number format shows a date: the built-in date formats, or a
// format code with a day, month, year or hour outside quotes and brackets.
bool isDateFormat(int id, const QString& code)
{
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return true;
    bool quoted = false;
    bool bracket = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char(']'))
            bracket = false;
        else if (!bracket && QStringLiteral("dmyhsDMYHS").contains(c))
            return true;
    }
    return false;
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

// "BC12" -> column 54 (from 0); -1 when the reference has no letters.
int columnOfReference(QStringView ref)
{
    int column = 0;
    int letters = 0;
    for (QChar c : ref) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            column = column * 26 + (u - u'A' + 1);
        else if (u >= u'a' && u <= u'z')
            column = column * 26 + (u - u'a' + 1);
        else
            break;
        ++letters;
    }
    return letters ? column - 1 : -1;
}

} // namespace

SheetRows readXlsxSheet(const QString& fileName)
{
    const ZipArchive zip(fileName);
    const WorkbookInfo info = readWorkbookInfo(zip, fileName);
    const QStringList shared = readSharedStrings(zip, fileName);
    const std::vector<bool> dateStyles = readDateStyles(zip, fileName);

    SheetRows sheet;
    QXmlStreamReader xml(zip.read(info.firstSheetPart));
    int row = -1;
    int nextColumn = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            const QStringView r = xml.attributes().value(QStringLiteral("r"));
            row = r.isEmpty() ? row + 1 : r.toInt() - 1;
            nextColumn = 0;
            continue;
        }
        if (xml.name() != u"c")
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const int refColumn = columnOfReference(attributes.value(QStringLiteral("r")));
        const int column = refColumn >= 0 ? refColumn : nextColumn;
        nextColumn = column + 1;
        const QString type = attributes.value(QStringLiteral("t")).toString();
        const int style = attributes.value(QStringLiteral("s")).toInt();
        QString value;
        bool haveValue = false;
        QString inlineText;
        bool haveInline = false;
        // Read the cell's children up to its end.
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"c")
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"v") {
                value = xml.readElementText();
                haveValue = true;
            } else if (xml.name() == u"is") {
                inlineText = stringItem(xml);
                haveInline = true;
            }
        }
        QString text;
        if (type == u"inlineStr") {
            text = inlineText;
        } else if (type == u"s") {
            bool ok = false;
            const int index = value.toInt(&ok);
            if (!ok || index < 0 || index >= shared.size())
                fail(fileName, QStringLiteral("a cell names a shared string that does not exist"));
            text = shared.at(index);
        } else if (type == u"str" || type == u"e") {
            text = value;
        } else if (type == u"b") {
            text = value.trimmed() == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        } else if (haveValue) {
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (!ok)
                text = value;
            else if (style >= 0 && size_t(style) < dateStyles.size() && dateStyles[size_t(style)])
                text = shownDate(dateFromSerial(info.date1904 ? number + 1462 : number));
            else
                text = shownNumber(number);
        } else if (haveInline) {
            text = inlineText;
        }
        if (!text.isEmpty())
            putCell(sheet, row, column, text);
    }
    checkXml(xml, fileName, info.firstSheetPart);
    return sheet;
}

} // namespace orvane::workbook
