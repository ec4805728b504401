// The criteria's byte form: exact bytes where they are fixed, round trips of
// every value type, and malformed streams that must fail cleanly.

#include "common/Errors.h"
#include "filter/ActivityFilterColumns.h"
#include "filter/FilterStream.h"

#include "support/FileSizeLimit.h"
#include "support/QtPrinters.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orvane;
using namespace orvane::filter;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

class FilterStreamTest : public ::testing::Test {
protected:
    ActivityFilterColumns columns;
    TcxDBDataFilterCriteria criteria{&columns};

    // Writes the criteria, reads the bytes into fresh criteria and checks
    // that they write the same bytes again; returns the fresh criteria's text.
    QString roundTrip()
    {
        const QByteArray bytes = WriteCriteria(criteria);
        TcxDBDataFilterCriteria copy(&columns);
        ReadCriteria(copy, bytes);
        EXPECT_EQ(WriteCriteria(copy).toHex(' ').toStdString(), bytes.toHex(' ').toStdString());
        EXPECT_EQ(copy.BuildFilterText(), criteria.BuildFilterText());
        EXPECT_EQ(copy.BuildDisplayText(), criteria.BuildDisplayText());
        return copy.BuildFilterText();
    }

    static QVariant readBack(const QVariant& value)
    {
        ActivityFilterColumns cols;
        TcxDBDataFilterCriteria c(&cols);
        c.AddCondition(nullptr, 48, foEqual, "", value);
        TcxDBDataFilterCriteria copy(&cols);
        ReadCriteria(copy, WriteCriteria(c));
        return static_cast<TcxFilterCriteriaItem*>(copy.Root()->Items(0))->Value();
    }

    static QByteArray valueBytes(const QVariant& value)
    {
        ActivityFilterColumns cols;
        TcxDBDataFilterCriteria c(&cols);
        c.AddCondition(nullptr, 48, foEqual, "", value);
        // marker, root kind, count, node type, kind, display text, column ID
        const auto* condition = static_cast<TcxFilterCriteriaItem*>(c.Root()->Items(0));
        return WriteCriteria(c).mid(4 + 1 + 4 + 1 + 1 + 4 + condition->DisplayValue().size() + 4);
    }
};

TEST_F(FilterStreamTest, TheEmptyTreeIsNineBytes)
{
    EXPECT_EQ(WriteCriteria(criteria), hex("ffffffff0000000000"));
    criteria.AddCondition(nullptr, 0, foEqual, "", 1);
    ReadCriteria(criteria, hex("ffffffff0000000000"));
    EXPECT_TRUE(criteria.IsEmptyFilter());
    EXPECT_EQ(criteria.Root()->BoolOperatorKind(), fboAnd);
}

TEST_F(FilterStreamTest, ExactBytesOfAConditionAndAGroup)
{
    criteria.Root()->SetBoolOperatorKind(fboOr);
    auto* g = criteria.AddGroup(nullptr, fboNotAnd);
    criteria.AddCondition(g, 48, foLike, "ab", QStringLiteral("%x%"));
    EXPECT_EQ(WriteCriteria(criteria).toHex(' '),
              QByteArray("ff ff ff ff 01 01 00 00 00"        // marker, root OR, one child
                         " 01 02 01 00 00 00"                // group NOT AND, one child
                         " 00 06 02 00 00 00 61 62"          // condition LIKE, display "ab"
                         " 30 00 00 00"                      // column 48
                         " 06 03 25 78 25"));                // text "%x%"
}

TEST_F(FilterStreamTest, ValueTagsAndPayloads)
{
    const struct {
        QVariant value;
        const char* bytes;
    } cases[] = {
        {QVariant(), "00"},
        {emptyValue(), "0d"},
        {100, "0264"},
        {-128, "0280"},
        {1000, "03e803"},
        {-32768, "030080"},
        {70000, "0470110100"},
        {QVariant(qlonglong(1) << 40), "060d31303939353131363237373736"},   // as its text
        {false, "08"},
        {true, "09"},
        {1.0, "050000000000000080ff3f"},
        {-2.5, "0500000000000000a000c0"},
        {QVariant(0.5f), "0f0000003f"},
        {QVariant::fromValue(Currency{12345}), "103930000000000000"},
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), "110000000000000000"},
        {QDateTime(QDate(1900, 1, 1), QTime(12, 0)), "110000000000000440"},
        {QStringLiteral("\u00e9"), "0601e9"},
        {QStringLiteral("\u20ac \u2019\u2013"), "06048020" "9296"},   // Windows-1252 bytes
        {QStringLiteral("\u0416"), "12010000001604"},
        {QVariantList{1, QStringLiteral("a")}, "01020202010601" "61"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.toString().toStdString());
        EXPECT_EQ(valueBytes(c.value).toHex(), QByteArray(c.bytes));
    }
    // 2.25 days = 1 January 1900 06:00
    EXPECT_EQ(readBack(QDateTime(QDate(1900, 1, 1), QTime(6, 0))).toDateTime(), QDateTime(QDate(1900, 1, 1), QTime(6, 0)));
    // long 8-bit texts take a 4-byte length
    const QByteArray longText = valueBytes(QString(300, QLatin1Char('x')));
    EXPECT_EQ(longText.left(5).toHex(), QByteArray("0c2c010000"));
    EXPECT_EQ(longText.size(), 5 + 300);
}

TEST_F(FilterStreamTest, EveryValueTypeRoundTrips)
{
    const QVariant values[] = {
        QVariant(), emptyValue(), 0, 127, -129, 32767, -32769, std::numeric_limits<int>::max(),
        std::numeric_limits<int>::min(), 1.0 / 3, -0.0, 1e300, 4.9e-324, 123456.789e-200, QVariant(1.5f), QVariant::fromValue(Currency{-987654321}),
        QDateTime(QDate(2003, 12, 31), QTime(23, 59, 59, 999)), QDateTime(QDate(1800, 2, 3), QTime(6, 30)),
        QDateTime(QDate(9999, 12, 31), QTime(0, 0)), QDateTime(QDate(1, 1, 1), QTime(12, 0)), true, false,
        QString(), QStringLiteral("it's"), QString(255, QLatin1Char('y')), QString(256, QLatin1Char('z')),
        QStringLiteral("Zürich \u00ff"), QStringLiteral("Ко\u0434 \U0001F600"),
        QStringLiteral("\u20ac \u2019 \u2013 \u201c \u201d"), QString(300, QChar(0x2014)),
        QStringLiteral("\u0081\u008d\u009d"), QVariantList{},
        QVariantList{QVariant(), 1, QStringLiteral("x"), QVariantList{2.5, true}},
    };
    for (const QVariant& value : values) {
        SCOPED_TRACE(value.toString().toStdString());
        const QVariant back = readBack(value);
        EXPECT_EQ(back.metaType(), value.metaType()) << back.metaType().name();
        EXPECT_EQ(back, value);
        criteria.AddCondition(nullptr, 48, foEqual, "shown", value);
    }
    EXPECT_TRUE(std::signbit(readBack(-0.0).toDouble()));
    roundTrip();
}

TEST_F(FilterStreamTest, ATreeRoundTripsWithKindsColumnsAndDisplayTexts)
{
    criteria.Root()->SetBoolOperatorKind(fboNotOr);
    auto* g = criteria.AddGroup(nullptr, fboOr);
    criteria.AddCondition(g, 2, foBetween, "1;5", QVariantList{1, 5});
    auto* inner = criteria.AddGroup(g, fboNotAnd);
    criteria.AddCondition(inner, 28, foNotInList, "A;B", QVariantList{QStringLiteral("A"), QStringLiteral("B")});
    criteria.AddGroup(g, fboAnd);
    criteria.AddCondition(nullptr, 1, foEqual, "", QVariant());
    criteria.AddCondition(nullptr, 7, foThisMonth, "", QVariant());
    criteria.AddCondition(nullptr, 147, foEqual, "Ja", true);
    for (int kind = foEqual; kind <= kLastOperatorKind; ++kind)
        criteria.AddCondition(g, 48 + kind, TcxFilterOperatorKind(kind), QStringLiteral("d%1").arg(kind),
                              QStringLiteral("v%1").arg(kind));
    const QString text = roundTrip();
    EXPECT_TRUE(text.startsWith(QStringLiteral("NOT (((OriginalDuration BETWEEN 1 AND 5) OR (NOT ((ActivityCode1 NOT IN ('A', 'B')))) OR ()")))
        << text.toStdString();

    // blank display texts are rebuilt by AddCondition
    TcxDBDataFilterCriteria copy(&columns);
    ReadCriteria(copy, WriteCriteria(criteria));
    EXPECT_EQ(copy.FindColumnCondition(1)->DisplayValue(), QStringLiteral("blank"));
}

TEST_F(FilterStreamTest, ReadingReplacesTheTreeWithOneAnnouncement)
{
    criteria.AddCondition(nullptr, 48, foEqual, "", QStringLiteral("old"));
    ActivityFilterColumns cols;
    TcxDBDataFilterCriteria source(&cols);
    source.AddCondition(nullptr, 49, foEqual, "", QStringLiteral("new"));
    source.AddCondition(nullptr, 50, foEqual, "", QStringLiteral("newer"));
    int announcements = 0;
    QObject::connect(&criteria, &TcxDBDataFilterCriteria::filterChanged, [&] { ++announcements; });
    ReadCriteria(criteria, WriteCriteria(source));
    EXPECT_EQ(announcements, 1);
    EXPECT_EQ(criteria.BuildFilterText(), QStringLiteral("([Log#2] = 'new') AND ([Log#3] = 'newer')"));
}

TEST_F(FilterStreamTest, MissingMarkerAndUnknownColumns)
{
    // no marker: the first integer is the root's child count, root kind AND
    const QByteArray noMarker = hex("01000000" "00" "00" "00000000" "30000000" "0201");
    ReadCriteria(criteria, noMarker);
    ASSERT_EQ(criteria.Root()->Count(), 1);
    EXPECT_EQ(criteria.Root()->BoolOperatorKind(), fboAnd);
    EXPECT_EQ(criteria.BuildFilterText(), QStringLiteral("([Log#1] = 1)"));
    EXPECT_EQ(WriteCriteria(criteria), hex("ffffffff00" "01000000" "00" "00" "00000000" "30000000" "0201"));

    // column 999 is not in the view: the stream is refused when read
    try {
        ReadCriteria(criteria, hex("01000000" "00" "00" "00000000" "e7030000" "0201"));
        ADD_FAILURE() << "accepted";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Can't build filter from source"));
    }
    EXPECT_EQ(criteria.BuildFilterText(), QStringLiteral("([Log#1] = 1)"));
}

TEST_F(FilterStreamTest, EightBitTextsAreInTheWindowsCodePage)
{
    // A saved filter whose value and display text hold bytes 0x80, 0x92, 0x96.
    const QByteArray bytes = hex("ffffffff00" "01000000"
                                 "00" "00" "05000000" "8041929661"   // display "€A’–a"
                                 "30000000" "0605" "8041929661");    // Log#1, value "€A’–a"
    ReadCriteria(criteria, bytes);
    const auto* condition = static_cast<TcxFilterCriteriaItem*>(criteria.Root()->Items(0));
    const QString expected = QStringLiteral("\u20acA\u2019\u2013a");
    EXPECT_EQ(condition->Value(), QVariant(expected));
    EXPECT_EQ(condition->DisplayValue(), expected);
    EXPECT_EQ(criteria.BuildFilterText(), QStringLiteral("([Log#1] = '") + expected + QStringLiteral("')"));
    EXPECT_EQ(WriteCriteria(criteria), bytes);

    // A display text character the code page lacks shows as "?"; the value
    // keeps it (as 16-bit text).
    TcxDBDataFilterCriteria wide(&columns);
    wide.AddCondition(nullptr, 48, foEqual, QStringLiteral("\u20ac\u0416"), QStringLiteral("\u20ac\u0416"));
    TcxDBDataFilterCriteria back(&columns);
    ReadCriteria(back, WriteCriteria(wide));
    const auto* wideBack = static_cast<TcxFilterCriteriaItem*>(back.Root()->Items(0));
    EXPECT_EQ(wideBack->DisplayValue(), QStringLiteral("\u20ac?"));
    EXPECT_EQ(wideBack->Value(), QVariant(QStringLiteral("\u20ac\u0416")));
}

TEST_F(FilterStreamTest, NumbersThatNoFilterCanTestAreRefused)
{
    for (const QVariant& value : {QVariant(std::numeric_limits<double>::quiet_NaN()),
                                  QVariant(std::numeric_limits<double>::infinity()),
                                  QVariant(-std::numeric_limits<float>::infinity())}) {
        SCOPED_TRACE(value.toString().toStdString());
        TcxDBDataFilterCriteria c(&columns);
        c.AddCondition(nullptr, 48, foEqual, "", value);
        EXPECT_THROW(WriteCriteria(c), FormatError);
    }
}

TEST_F(FilterStreamTest, MalformedStreamsFailAndChangeNothing)
{
    criteria.AddCondition(nullptr, 48, foEqual, "", QStringLiteral("kept"));
    const QString before = criteria.BuildFilterText();
    auto expectReadError = [&](const QByteArray& bytes, const char* why) {
        SCOPED_TRACE(why);
        try {
            ReadCriteria(criteria, bytes);
            ADD_FAILURE() << "accepted " << bytes.toHex().constData();
        } catch (const FormatError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Stream read error"));
        }
        EXPECT_EQ(criteria.BuildFilterText(), before);
    };
    expectReadError(hex("ffffffff00010000000000020000006162300000000e"), "unknown value tag 14");
    expectReadError(hex("ffffffff00010000000000020000006162300000000a"), "unknown value tag 10");
    expectReadError(hex("ffffffff000100000002"), "unknown node type");
    expectReadError(hex("ffffffff0001000000001800000000300000000000"), "operator kind 24");
    expectReadError(hex("ffffffff04"), "root kind 4");
    expectReadError(hex("feffffff"), "negative count without marker");
    expectReadError(hex("ffffffff00ffffff7f"), "count beyond the input");
    expectReadError(hex("ffffffff00010000000000ffffff7f"), "display length beyond the input");
    expectReadError(hex("ffffffff0001000000000000000000300000001200000040"), "UTF-16 length beyond the input");
    expectReadError(hex("ffffffff0001000000000000000000300000000106"), "array count without integer tag");
    expectReadError(hex("ffffffff00010000000000000000003000000011" "00000000d0126341"), "date beyond year 9999");
    expectReadError(hex("ffffffff00010000000000000000003000000011000000000000f87f"), "date NaN");
    expectReadError(hex("ffffffff00010000000000000000003000000005" "000000000000c0ffff7f"), "extended NaN");
    expectReadError(hex("ffffffff00010000000000000000003000000005" "0000000000000080ffff"), "extended -infinity");
    expectReadError(hex("ffffffff0001000000000000000000300000000f" "0000807f"), "single infinity");
    expectReadError(hex("ffffffff00010000000000000000003000000002" "01" "00"), "a byte after the end");
    expectReadError(hex("ffffffff0000000000" "ffffffff0000000000"), "a second tree after the first");

    // every proper prefix of a good stream is cut short
    ActivityFilterColumns cols;
    TcxDBDataFilterCriteria full(&cols);
    auto* g = full.AddGroup(nullptr, fboOr);
    full.AddCondition(g, 2, foBetween, "1;5", QVariantList{1, 70000});
    full.AddCondition(nullptr, 7, foEqual, "x", QDateTime(QDate(2003, 12, 31), QTime(0, 0)));
    full.AddCondition(nullptr, 1, foEqual, "x", QStringLiteral("\u0416x"));
    full.AddCondition(nullptr, 2, foEqual, "x", 2.5);
    const QByteArray good = WriteCriteria(full);
    for (qsizetype n = 0; n < good.size(); ++n)
        expectReadError(good.left(n), "prefix");
    ReadCriteria(criteria, good);
    EXPECT_EQ(criteria.BuildFilterText(), full.BuildFilterText());
}

TEST_F(FilterStreamTest, DeepNestingIsRefused)
{
    QByteArray deep = hex("ffffffff0001000000");
    for (int i = 0; i < 100000; ++i)
        deep += hex("010001000000");
    deep += hex("0100" "00000000");
    try {
        ReadCriteria(criteria, deep);
        FAIL();
    } catch (const FormatError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Stream read error"));
    }
}

TEST_F(FilterStreamTest, ValuesWithoutATextCannotBeWritten)
{
    criteria.AddCondition(nullptr, 48, foEqual, "", QVariantMap{{"a", 1}});
    try {
        WriteCriteria(criteria);
        FAIL();
    } catch (const FormatError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Stream write error"));
    }
}

TEST_F(FilterStreamTest, FltFilesRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.flt"));
    criteria.AddCondition(nullptr, 48, foLike, "%rev%", QStringLiteral("%rev%"));
    criteria.AddCondition(nullptr, 147, foEqual, "True", true);
    saveCriteriaFile(criteria, path);
    EXPECT_EQ(filterTextFromFile(path), QStringLiteral("([Log#1] LIKE '%rev%') AND (Flag = True)"));

    TcxDBDataFilterCriteria loaded(&columns);
    loadCriteriaFile(loaded, path);
    EXPECT_EQ(WriteCriteria(loaded), WriteCriteria(criteria));

    EXPECT_THROW(filterTextFromFile(dir.filePath(QStringLiteral("missing.flt"))), OrvaneError);
}

// Saving over a filter file writes a new file and puts it in place whole: a
// write that fails (the file-size limit stands for a full disk) leaves the
// old filter readable as it was, and no other file behind.
TEST_F(FilterStreamTest, ASaveThatFailsLeavesTheOldFilterFile)
{
    if (!orvane::testing::FileSizeLimit::kAvailable)
        GTEST_SKIP() << "no file-size limit on this system";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("saved.flt"));
    criteria.AddCondition(nullptr, 48, foLike, "%rev%", QStringLiteral("%rev%"));
    saveCriteriaFile(criteria, path);
    const QString oldText = filterTextFromFile(path);

    criteria.AddCondition(nullptr, 49, foEqual, QString(500, u'x'), QString(500, u'x'));
    {
        orvane::testing::FileSizeLimit limit(64);
        EXPECT_THROW(saveCriteriaFile(criteria, path), OrvaneError);
    }
    EXPECT_EQ(filterTextFromFile(path), oldText);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("saved.flt")});
}

} // namespace
