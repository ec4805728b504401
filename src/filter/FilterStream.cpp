#include "filter/FilterStream.h"

#include "common/Errors.h"
#include "common/ReplacingFile.h"
#include "common/Windows1252.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace orvane::filter {

namespace {

constexpr int kMaxDepth = 32;   // nested groups and arrays
const QDate kDayZero(1899, 12, 30);

enum Tag : quint8 {
    tagNull = 0, tagArray = 1, tagInt8 = 2, tagInt16 = 3, tagInt32 = 4, tagExtended = 5,
    tagString = 6, tagFalse = 8, tagTrue = 9, tagLString = 12, tagEmpty = 13,
    tagSingle = 15, tagCurrency = 16, tagDate = 17, tagWString = 18
};

[[noreturn]] void readError() { throw FormatError(QStringLiteral("Stream read error")); }
[[noreturn]] void writeError() { throw FormatError(QStringLiteral("Stream write error")); }

// --- reading

class Reader {
public:
    Reader(const char* data, qsizetype size) : m_data(data), m_size(size) {}
    qsizetype remaining() const { return m_size - m_pos; }
    const char* take(qsizetype n)
    {
        if (n < 0 || n > remaining())
            readError();
        const char* p = m_data + m_pos;
        m_pos += n;
        return p;
    }
    quint8 byte() { return quint8(*take(1)); }
    qint16 int16() { return qFromLittleEndian<qint16>(take(2)); }
    qint32 int32() { return qFromLittleEndian<qint32>(take(4)); }
    qint64 int64() { return qFromLittleEndian<qint64>(take(8)); }
    double float64()
    {
        const quint64 bits = qFromLittleEndian<quint64>(take(8));
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    float float32()
    {
        const quint32 bits = qFromLittleEndian<quint32>(take(4));
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

struct StreamNode {
    bool group = false;
    quint8 kind = 0;
    QString displayText;
    qint32 columnId = -1;
    QVariant value;
    std::vector<StreamNode> children;
};

QDateTime dateFromDays(double days)
{
    // Years 1 to 9999.
    if (!std::isfinite(days) || days <= -693594.0 || days >= 2958466.0)
        readError();
    qint64 whole = qint64(days);   // truncates toward zero
    qint64 ms = std::llround(std::fabs(days - double(whole)) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        ++whole;
    }
    const QDate date = kDayZero.addDays(whole);
    if (!date.isValid())
        readError();
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

QVariant readValue(Reader& in, int depth);

qint32 readCount(Reader& in)
{
    switch (in.byte()) {
    case tagInt8: return qint8(in.byte());
    case tagInt16: return in.int16();
    case tagInt32: return in.int32();
    default: readError();
    }
}

QVariant readValue(Reader& in, int depth)
{
    if (depth > kMaxDepth)
        readError();
    switch (in.byte()) {
    case tagNull: return QVariant();
    case tagEmpty: return emptyValue();
    case tagInt8: return int(qint8(in.byte()));
    case tagInt16: return int(in.int16());
    case tagInt32: return int(in.int32());
    case tagSingle: {
        const float f = in.float32();
        if (!std::isfinite(f))
            readError();
        return QVariant(f);
    }
    case tagExtended: {
        const double d = doubleFromExtended(in.take(10));
        if (!std::isfinite(d))
            readError();
        return d;
    }
    case tagCurrency: return QVariant::fromValue(Currency{in.int64()});
    case tagDate: return dateFromDays(in.float64());
    case tagFalse: return false;
    case tagTrue: return true;
    case tagString: {
        const int n = in.byte();
        return decodeWindows1252(in.take(n), n);
    }
    case tagLString: {
        const qint32 n = in.int32();
        return decodeWindows1252(in.take(n), n);
    }
    case tagWString: {
        const qint32 n = in.int32();
        if (n < 0 || n > in.remaining() / 2)
            readError();
        const char* p = in.take(qsizetype(n) * 2);
        QString s(n, Qt::Uninitialized);
        for (qint32 i = 0; i < n; ++i)
            s[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
        return s;
    }
    case tagArray: {
        const qint32 count = readCount(in);
        if (count < 0 || count > in.remaining())   // every element takes at least one byte
            readError();
        QVariantList list;
        list.reserve(count);
        for (qint32 i = 0; i < count; ++i)
            list << readValue(in, depth + 1);
        return list;
    }
    default:
        readError();
    }
}

void readChildren(Reader& in, StreamNode& group, qint32 count, int depth);

StreamNode readNode(Reader& in, int depth)
{
    StreamNode node;
    const quint8 type = in.byte();
    if (type == 1) {
        node.group = true;
        node.kind = in.byte();
        if (node.kind > kLastBoolOperatorKind)
            readError();
        readChildren(in, node, in.int32(), depth + 1);
    } else if (type == 0) {
        node.kind = in.byte();
        if (node.kind > kLastOperatorKind)
            readError();
        const qint32 length = in.int32();
        node.displayText = decodeWindows1252(in.take(length), length);
        node.columnId = in.int32();
        node.value = readValue(in, 0);
    } else {
        readError();
    }
    return node;
}

void readChildren(Reader& in, StreamNode& group, qint32 count, int depth)
{
    if (depth > kMaxDepth || count < 0 || count > in.remaining())
        readError();
    for (qint32 i = 0; i < count; ++i)
        group.children.push_back(readNode(in, depth));
}

// A condition on a column the grid does not have could never be shown or
// tested; the stream is refused when read rather than failing later, with
// the message the filter builder gives for it.
void requireKnownColumns(const FilterColumnSource& columns, const StreamNode& node)
{
    for (const StreamNode& child : node.children) {
        if (child.group)
            requireKnownColumns(columns, child);
        else if (!columns.columnById(child.columnId))
            throw FormatError(QStringLiteral("Can't build filter from source"));
    }
}

void build(TcxDBDataFilterCriteria& criteria, TcxFilterCriteriaItemList* group, const StreamNode& node)
{
    for (const StreamNode& child : node.children) {
        if (child.group)
            build(criteria, criteria.AddGroup(group, TcxFilterBoolOperatorKind(child.kind)), child);
        else
            criteria.AddCondition(group, child.columnId, TcxFilterOperatorKind(child.kind),
                                  child.displayText, child.value);
    }
}

// --- writing

// A display text in the code page; a character it has no byte for shows as
// "?" (the display text is only shown; the value is kept exactly).
QByteArray ansiDisplayText(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        int b = windows1252ByteOf(c.unicode());
        // The five bytes the code page leaves undefined read as the same
        // code points; they go back as themselves.
        if (b < 0 && c.unicode() >= 0x80 && c.unicode() < 0xA0 && kWindows1252High[c.unicode() - 0x80] == 0)
            b = c.unicode();
        out.append(b < 0 ? '?' : char(b));
    }
    return out;
}

class Writer {
public:
    QByteArray bytes;
    void byte(quint8 b) { bytes.append(char(b)); }
    void int16(qint16 v) { char b[2]; qToLittleEndian(v, b); bytes.append(b, 2); }
    void int32(qint32 v) { char b[4]; qToLittleEndian(v, b); bytes.append(b, 4); }
    void int64(qint64 v) { char b[8]; qToLittleEndian(v, b); bytes.append(b, 8); }
    void float64(double d)
    {
        quint64 bits;
        std::memcpy(&bits, &d, sizeof d);
        char b[8];
        qToLittleEndian(bits, b);
        bytes.append(b, 8);
    }
    void float32(float f)
    {
        quint32 bits;
        std::memcpy(&bits, &f, sizeof f);
        char b[4];
        qToLittleEndian(bits, b);
        bytes.append(b, 4);
    }

    void wholeNumber(qint64 v)
    {
        if (v >= -128 && v <= 127) {
            byte(tagInt8);
            byte(quint8(qint8(v)));
        } else if (v >= -32768 && v <= 32767) {
            byte(tagInt16);
            int16(qint16(v));
        } else {
            byte(tagInt32);
            int32(qint32(v));
        }
    }

    void text8(const QByteArray& ansi)
    {
        if (ansi.size() <= 255) {
            byte(tagString);
            byte(quint8(ansi.size()));
        } else {
            if (ansi.size() > std::numeric_limits<qint32>::max())
                writeError();
            byte(tagLString);
            int32(qint32(ansi.size()));
        }
        bytes.append(ansi);
    }

    void text(const QString& s)
    {
        QByteArray ansi;
        if (encodeWindows1252(s, ansi)) {
            text8(ansi);
            return;
        }
        if (s.size() > std::numeric_limits<qint32>::max() / 2)
            writeError();
        byte(tagWString);
        int32(qint32(s.size()));
        for (const QChar c : s)
            int16(qint16(c.unicode()));
    }

    void value(const QVariant& v)
    {
        if (isEmptyValue(v)) {
            byte(tagEmpty);
        } else if (isNullValue(v)) {
            byte(tagNull);
        } else if (isArray(v)) {
            const QVariantList list = v.toList();
            if (list.size() > std::numeric_limits<qint32>::max())
                writeError();
            byte(tagArray);
            wholeNumber(list.size());
            for (const QVariant& element : list)
                value(element);
        } else if (v.metaType().id() == QMetaType::Bool) {
            byte(v.toBool() ? tagTrue : tagFalse);
        } else if (isWholeNumber(v)) {
            const int id = v.metaType().id();
            const bool unsignedBig = (id == QMetaType::ULongLong || id == QMetaType::ULong)
                                     && v.toULongLong() > quint64(std::numeric_limits<qint32>::max());
            const qint64 n = v.toLongLong();
            if (unsignedBig || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
                text(v.toString());   // other whole numbers go as their text
            else
                wholeNumber(n);
        } else if (v.metaType().id() == QMetaType::Float) {
            if (!std::isfinite(v.toFloat()))
                writeError();
            byte(tagSingle);
            float32(v.toFloat());
        } else if (v.metaType().id() == QMetaType::Double) {
            // No filter can test a row against NaN or infinity; such a value
            // would not read back.
            if (!std::isfinite(v.toDouble()))
                writeError();
            byte(tagExtended);
            bytes.append(extendedFromDouble(v.toDouble()));
        } else if (isCurrency(v)) {
            byte(tagCurrency);
            int64(v.value<Currency>().tenThousandths);
        } else if (isDateValue(v)) {
            const QDateTime dt = dateValue(v);
            if (!dt.isValid())
                writeError();
            const qint64 days = kDayZero.daysTo(dt.date());
            const double fraction = dt.time().msecsSinceStartOfDay() / 86400000.0;
            byte(tagDate);
            float64(days >= 0 ? double(days) + fraction : double(days) - fraction);
        } else if (v.metaType().id() == QMetaType::QString) {
            text(v.toString());
        } else if (v.metaType().id() == QMetaType::QByteArray) {
            text8(v.toByteArray());
        } else if (v.canConvert<QString>()) {
            text(v.toString());
        } else {
            writeError();
        }
    }

    void group(const TcxFilterCriteriaItemList& list)
    {
        byte(quint8(list.BoolOperatorKind()));
        int32(list.Count());
        children(list);
    }

    void children(const TcxFilterCriteriaItemList& list)
    {
        for (int i = 0; i < list.Count(); ++i) {
            const TcxCustomFilterCriteriaItem* item = list.Items(i);
            if (item->IsItemList()) {
                byte(1);
                group(static_cast<const TcxFilterCriteriaItemList&>(*item));
            } else {
                const auto& c = static_cast<const TcxFilterCriteriaItem&>(*item);
                byte(0);
                byte(quint8(c.OperatorKind()));
                const QByteArray display = ansiDisplayText(c.DisplayValue());
                int32(qint32(display.size()));
                bytes.append(display);
                int32(c.ColumnId());
                value(c.Value());
            }
        }
    }
};

} // namespace

QByteArray extendedFromDouble(double value)
{
    quint64 mantissa = 0;
    quint16 exponent = 0;
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        exponent = 0x7FFF;
        mantissa = 0xC000000000000000ULL;
    } else if (std::isinf(value)) {
        exponent = 0x7FFF;
        mantissa = 0x8000000000000000ULL;
    } else if (value != 0) {
        int e = 0;
        const double m = std::frexp(std::fabs(value), &e);   // m in [0.5, 1)
        mantissa = quint64(std::ldexp(m, 64));               // exact: 53 bits
        exponent = quint16(e + 16382);
    }
    char bytes[10];
    qToLittleEndian(mantissa, bytes);
    qToLittleEndian(quint16(exponent | (negative ? 0x8000 : 0)), bytes + 8);
    return QByteArray(bytes, 10);
}

double doubleFromExtended(const char bytes[10])
{
    const quint64 mantissa = qFromLittleEndian<quint64>(bytes);
    const quint16 se = qFromLittleEndian<quint16>(bytes + 8);
    const bool negative = se & 0x8000;
    const int exponent = se & 0x7FFF;
    double value;
    if (exponent == 0x7FFF) {
        value = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::quiet_NaN();
    } else {
        // Denormals use the exponent of the smallest normal number.
        const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        value = std::ldexp(double(mantissa), e);
    }
    return negative ? -value : value;
}

void WriteCriteria(const TcxDBDataFilterCriteria& criteria, QIODevice& device)
{
    const QByteArray bytes = WriteCriteria(criteria);
    if (device.write(bytes) != bytes.size())
        writeError();
}

QByteArray WriteCriteria(const TcxDBDataFilterCriteria& criteria)
{
    Writer out;
    out.int32(-1);
    out.group(*criteria.Root());
    return out.bytes;
}

void ReadCriteria(TcxDBDataFilterCriteria& criteria, const QByteArray& bytes)
{
    Reader in(bytes.constData(), bytes.size());
    StreamNode root;
    root.group = true;
    qint32 first = in.int32();
    qint32 count;
    if (first == -1) {
        root.kind = in.byte();
        if (root.kind > kLastBoolOperatorKind)
            readError();
        count = in.int32();
    } else {
        count = first;   // no marker: the first integer is the child count
    }
    readChildren(in, root, count, 0);
    if (in.remaining() != 0)
        readError();   // bytes after the end of the tree
    if (const FilterColumnSource* columns = criteria.Columns())
        requireKnownColumns(*columns, root);

    // Everything read: now replace the tree, with one announcement.
    FilterChangeLock lock(criteria);
    criteria.ClearConditions();
    criteria.Root()->SetBoolOperatorKind(TcxFilterBoolOperatorKind(root.kind));
    build(criteria, nullptr, root);
}

void ReadCriteria(TcxDBDataFilterCriteria& criteria, QIODevice& device)
{
    ReadCriteria(criteria, device.readAll());
}

void saveCriteriaFile(const TcxDBDataFilterCriteria& criteria, const QString& path)
{
    const QByteArray bytes = WriteCriteria(criteria);
    ReplacingFile file(path);
    file.write(bytes.constData(), bytes.size());
    file.commit();
}

void loadCriteriaFile(TcxDBDataFilterCriteria& criteria, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrvaneError(QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw OrvaneError(QStringLiteral("Cannot read file \"%1\": %2").arg(path, file.errorString()));
    ReadCriteria(criteria, bytes);
}

} // namespace orvane::filter
