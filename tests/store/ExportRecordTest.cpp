// The record of digests an export writes beside its sheet, written by the
// builder and read back: what a digest treats as the same text, how IDs and
// many activities travel, and what makes a record unreadable.

#include "store/ActivityLayout.h"
#include "store/ExportRecord.h"

#include <gtest/gtest.h>

using namespace orvane;
using store::exportedTextDigest;

namespace {

QList<QStringList> recordRows(store::ExportDigestRecordBuilder& builder)
{
    QList<QStringList> rows{builder.captionRow()};
    for (const QString& cell : builder.takeLineCells())
        rows << QStringList{cell};
    return rows;
}

TEST(ExportRecordTest, ADigestStandsForTheTextAsACellHoldsIt)
{
    const QString longText = QString(32766, u'a') + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("tail");
    struct Case {
        const char* name;
        QString a, b;
        bool same;
    };
    const std::vector<Case> cases = {
        {"line feed and carriage return with line feed", "x\ny", "x\r\ny", true},
        {"lone carriage return", "x\ry", "x\ny", true},
        {"two breaks are not one", "x\n\ny", "x\ny", false},
        {"cut where a cell ends, a surrogate pair kept whole", longText, longText.left(32766), true},
        {"the same beginning, one character more", "Rebar", "Rebar.", false},
        {"case matters", "rebar", "Rebar", false},
        {"a trailing space matters", "rebar ", "rebar", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exportedTextDigest(c.a) == exportedTextDigest(c.b), c.same) << c.name;
}

TEST(ExportRecordTest, EachActivitysTextsComeBackAsExported)
{
    const std::vector<int> fields{store::kDescriptionColumn, store::logColumn(1), store::logColumn(99)};
    store::ExportDigestRecordBuilder builder(fields);
    // IDs with every escaped character, and enough activities to fill
    // several cells.
    const QStringList oddIds{"tab\there", "line\nfeed", "back\\slash\\t", "cr\rid"};
    const int count = 6000;
    for (int i = 0; i < count; ++i) {
        const QString id = i < oddIds.size() ? oddIds[i] : QStringLiteral("A%1").arg(i);
        const QString log1 = i % 3 ? QStringLiteral("log %1").arg(i) : QString();
        const QStringView texts[] = {QStringLiteral("desc"), log1, QStringLiteral("last")};
        builder.addActivity(id, texts);
    }
    const QList<QStringList> rows = recordRows(builder);
    ASSERT_GT(rows.size(), 2) << "the lines run on over several cells";
    for (const QStringList& row : rows)
        EXPECT_LE(row.first().size(), store::kMaxCellChars);

    const std::optional<store::ExportDigestRecord> record = store::ExportDigestRecord::read(rows);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->fields(), fields);
    for (int i = 0; i < count; ++i) {
        const QString id = i < oddIds.size() ? oddIds[i] : QStringLiteral("A%1").arg(i);
        const QString log1 = i % 3 ? QStringLiteral("log %1").arg(i) : QString();
        EXPECT_EQ(record->isExported(id, store::logColumn(1), log1), true) << i;
        EXPECT_EQ(record->isExported(id, store::logColumn(1), QStringLiteral("log x")), false) << i;
        EXPECT_EQ(record->isExported(id, store::logColumn(99), QStringLiteral("last")), true) << i;
    }
    EXPECT_EQ(record->isExported("A7", store::logColumn(1), QString()), false) << "emptied";
    EXPECT_EQ(record->isExported("A9", store::logColumn(1), QStringLiteral("typed")), false) << "filled";
    EXPECT_FALSE(record->isExported("A7", store::logColumn(2), QString())) << "a field not exported";
    EXPECT_FALSE(record->isExported("NOPE", store::logColumn(1), QString())) << "an activity not exported";
}

TEST(ExportRecordTest, WhatCannotBeTrustedIsNotRead)
{
    store::ExportDigestRecordBuilder builder({store::logColumn(1)});
    const QString log = QStringLiteral("text");
    const QStringView logView = log;
    for (const char* id : {"A1", "A2", "TWICE", "TWICE", "A3"})
        builder.addActivity(QString::fromLatin1(id), &logView);
    QList<QStringList> rows = recordRows(builder);
    ASSERT_EQ(rows.size(), 2);

    // A line spoilt in the workbook, an ID held twice: no base for them.
    rows[1][0].replace(QStringLiteral("A2\t"), QStringLiteral("A2\t#"));
    const std::optional<store::ExportDigestRecord> record = store::ExportDigestRecord::read(rows);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->isExported("A1", store::logColumn(1), log), true);
    EXPECT_FALSE(record->isExported("A2", store::logColumn(1), log));
    EXPECT_FALSE(record->isExported("TWICE", store::logColumn(1), log));
    EXPECT_EQ(record->isExported("A3", store::logColumn(1), log), true);

    // A caption row naming what an export never records, or another first
    // cell, is no record of digests.
    for (const QStringList& captions : {QStringList{store::exportDigestRecordTag(), "ActivityID"},
                                        QStringList{store::exportDigestRecordTag(), "Log#1", "Log#1"},
                                        QStringList{store::exportDigestRecordTag(), "NoSuchField"},
                                        QStringList{"ActivityID", "Log#1"}}) {
        QList<QStringList> changed = rows;
        changed[0] = captions;
        EXPECT_FALSE(store::ExportDigestRecord::read(changed)) << captions.join(',').toStdString();
    }
}

} // namespace
