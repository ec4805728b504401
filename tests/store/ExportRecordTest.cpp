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

// The digests of one activity's texts now, table and workbook side by side.
struct Sides {
    std::vector<std::uint64_t> table;
    std::vector<std::optional<std::uint64_t>> workbook;
};

Sides sides(const QStringList& table, const QStringList& workbook)
{
    Sides s;
    for (const QString& t : table)
        s.table.push_back(exportedTextDigest(t));
    for (const QString& w : workbook)
        s.workbook.push_back(w == u"<no column>" ? std::nullopt : std::optional(exportedTextDigest(w)));
    return s;
}

// The exported texts of an activity, told from the table's and the
// workbook's texts now: every field where the row's digest proves them,
// only those exported empty where some text changed on both sides.
TEST(ExportRecordTest, TheRowDigestProvesWhatEachSideKept)
{
    const std::vector<int> fields{store::kDescriptionColumn, store::logColumn(1), store::logColumn(2),
                                  store::logColumn(99)};
    const QStringList exported{"Pour slab", "old one", "old two", ""};
    // A text whose hint is that of "old one", so both sides of its field
    // pass the hint and only the row digest can tell which was exported.
    QString sameHint;
    const std::uint64_t oldHint = exportedTextDigest(exported[1]) >> 58;
    for (int i = 0; sameHint.isEmpty(); ++i)
        if (const QString t = QStringLiteral("edit %1").arg(i); exportedTextDigest(t) >> 58 == oldHint)
            sameHint = t;
    struct Case {
        const char* name;
        QStringList table, workbook;
        std::vector<bool> known;   // per field: the exported text is told
    };
    const std::vector<Case> cases = {
        {"nothing changed", exported, exported, {true, true, true, true}},
        {"each side changed other texts", {"Pour slab", "mine", "old two", "filled"},
         {"Pour slab", "old one", "theirs", ""}, {true, true, true, true}},
        {"line breaks of another form count as unchanged", exported, {"Pour slab", "old one", "old two", ""},
         {true, true, true, true}},
        {"a text changed on both sides", {"Pour slab", "mine", "old two", "filled"},
         {"Pour slab", "theirs", "old two", ""}, {false, false, false, true}},
        {"changed alike on both sides", {"Pour slab", "same", "old two", ""}, {"Pour slab", "same", "old two", ""},
         {false, false, false, true}},
        {"a change with the base's hint", {"Pour slab", sameHint, "old two", ""}, exported,
         {true, true, true, true}},
        {"a column the workbook lacks, unchanged in the table", exported,
         {"Pour slab", "<no column>", "theirs", ""}, {true, true, true, true}},
        {"a column the workbook lacks, changed in the table", {"Pour slab", "mine", "old two", ""},
         {"Pour slab", "<no column>", "old two", ""}, {false, false, false, true}},
    };
    store::ExportDigestRecordBuilder builder(fields);
    std::vector<QStringView> views(exported.begin(), exported.end());
    builder.addActivity(QStringLiteral("A1"), views.data());
    const std::optional<store::ExportDigestRecord> record = store::ExportDigestRecord::read(recordRows(builder));
    ASSERT_TRUE(record);
    for (const Case& c : cases) {
        const Sides now = sides(c.table, c.workbook);
        std::vector<std::optional<std::uint64_t>> told;
        record->exportedDigests(QStringLiteral("A1"), now.table, now.workbook, told);
        ASSERT_EQ(told.size(), fields.size()) << c.name;
        for (std::size_t f = 0; f < fields.size(); ++f) {
            EXPECT_EQ(told[f].has_value(), bool(c.known[f])) << c.name << ", field " << f;
            if (told[f])
                EXPECT_EQ(*told[f], exportedTextDigest(exported[int(f)])) << c.name << ", field " << f;
        }
    }
    std::vector<std::optional<std::uint64_t>> told{0};
    record->exportedDigests(QStringLiteral("B1"), sides(exported, exported).table, sides(exported, exported).workbook,
                            told);
    EXPECT_TRUE(told.empty()) << "an activity not exported";
}

TEST(ExportRecordTest, IdsAndManyActivitiesTravelWhole)
{
    store::ExportDigestRecordBuilder builder({store::logColumn(1)});
    // IDs with every escaped character, and enough activities to fill
    // several cells.
    QStringList ids{"tab\there", "line\nfeed", "back\\slash\\t", "cr\rid"};
    for (int i = 0; i < 6000; ++i)
        ids << QStringLiteral("A%1").arg(i);
    for (const QString& id : ids) {
        const QString log = QStringLiteral("log of ") + id;
        const QStringView view = log;
        builder.addActivity(id, &view);
    }
    const QList<QStringList> rows = recordRows(builder);
    ASSERT_GT(rows.size(), 2) << "the lines run on over several cells";
    for (const QStringList& row : rows)
        EXPECT_LE(row.first().size(), store::kMaxCellChars);
    const std::optional<store::ExportDigestRecord> record = store::ExportDigestRecord::read(rows);
    ASSERT_TRUE(record);
    for (const QString& id : ids) {
        const std::uint64_t log = exportedTextDigest(QStringLiteral("log of ") + id);
        std::vector<std::optional<std::uint64_t>> told;
        record->exportedDigests(id, {log}, {log}, told);
        ASSERT_EQ(told.size(), 1u) << id.toStdString();
        EXPECT_EQ(told[0], log) << id.toStdString();
    }
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
    EXPECT_TRUE(record->holds("A1"));
    EXPECT_FALSE(record->holds("A2"));
    EXPECT_FALSE(record->holds("TWICE"));
    EXPECT_TRUE(record->holds("A3"));

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
