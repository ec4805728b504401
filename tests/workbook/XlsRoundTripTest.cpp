// Long texts through the .xls writer and back through Orvane's reader and
// xlrd: every character of every length up to the cell limit, in texts
// whose characters fit in 8 bits and texts that need 16, starting at the
// places of the shared string table where records end. Also damaged
// files: each is refused with words for what is wrong, never read cut.

#include "common/Errors.h"
#include "export/XLSExportProvider.h"
#include "workbook/SheetReader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orvane;

namespace {

// A text of `length` characters cycling through `alphabet`, so that a
// character lost, doubled or shifted anywhere shows.
QString cyclingText(const QString& alphabet, int length)
{
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i)
        text.append(alphabet.at(i % alphabet.size()));
    return text;
}

const QString kEightBit = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789 ,.-ABCXYZ\u00E9\u00FC\u00DF");
const QString kSixteenBit = QStringLiteral("\u00E9\u20AC\u03A9\u0436\u4E2D\u00FCq\u2013\u05D0");

// Where the text starts in the shared string table, set by texts before it
// (each text of n characters takes 3 + 2n bytes of the 8,184 the first
// record holds after its counts).
struct Position {
    const char* name;
    std::vector<int> fillerLengths;
};
const Position kPositions[] = {
    {"first", {}},
    {"header and one character close the record", {4088}},         // 5 bytes left
    {"four bytes left, too few for a character", {200, 3887}},     // 4 bytes left
    {"after a text that spans records", {20000}},
};

constexpr int kLengths[] = {8185, 8186, 8224, 16000, 32767, 40000};
constexpr int kCellLimit = 32767;

struct Case {
    QString file;
    QString expected;
    int row;
    QString label;
};

QString writeWorkbook(const QString& path, const std::vector<QString>& texts)
{
    exporting::TcxXLSExportProvider xls(path);
    xls.SetSheetSize(1, int(texts.size()), false);
    for (int row = 0; row < int(texts.size()); ++row)
        xls.PutWideText(0, row, texts[std::size_t(row)]);
    xls.WriteWorkbook();
    return path;
}

QJsonObject xlrdTexts(const QStringList& files)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(ORVANE_WORKBOOK_TESTS_DIR "/xls_texts.py")} + files);
    EXPECT_TRUE(python.waitForFinished(300000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// Where two texts first differ, for a message that says more than "differs".
QString firstDifference(const QString& actual, const QString& expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual.at(i) == expected.at(i))
        ++i;
    return QStringLiteral("%1 characters read, %2 expected, first difference at %3")
        .arg(actual.size()).arg(expected.size()).arg(i);
}

// Writes one workbook per length, form and position; returns the cases
// to read back.
std::vector<Case> writeCases(const QTemporaryDir& dir)
{
    std::vector<Case> cases;
    int n = 0;
    for (const Position& position : kPositions) {
        for (const auto& [formName, alphabet] : {std::pair{"8-bit", kEightBit}, std::pair{"16-bit", kSixteenBit}}) {
            for (const int length : kLengths) {
                std::vector<QString> texts;
                for (const int filler : position.fillerLengths)
                    texts.push_back(cyclingText(QStringLiteral("fill"), filler));
                const QString text = cyclingText(alphabet, length);
                texts.push_back(text);
                texts.push_back(QStringLiteral("a short text after it, in the table too: ") + cyclingText(alphabet, 300));
                const QString file = writeWorkbook(dir.filePath(QStringLiteral("case%1.xls").arg(n++)), texts);
                const int row = int(position.fillerLengths.size());
                const QString label = QStringLiteral("%1, %2 characters, %3").arg(formName).arg(length).arg(position.name);
                cases.push_back({file, text.left(kCellLimit), row, label});
                cases.push_back({file, texts.back(), row + 1, label + QStringLiteral(", the text after it")});
            }
        }
    }
    return cases;
}

TEST(XlsRoundTrip, LongTextsReadBackWhole)
{
    QTemporaryDir dir;
    for (const Case& c : writeCases(dir)) {
        SCOPED_TRACE(c.label.toStdString());
        const QString ours = workbook::readXlsSheet(c.file).cell(c.row, 0);
        EXPECT_TRUE(ours == c.expected) << firstDifference(ours, c.expected).toStdString();
    }
}

// The same files as xlrd reads them: the writer's layout is the format's,
// not one only Orvane's reader agrees with.
TEST(XlsRoundTrip, XlrdReadsTheSameLongTexts)
{
    QTemporaryDir dir;
    const std::vector<Case> cases = writeCases(dir);
    QStringList files;
    for (const Case& c : cases)
        if (files.isEmpty() || files.back() != c.file)
            files << c.file;
    const QJsonObject byXlrd = xlrdTexts(files);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label.toStdString());
        const QString theirs = byXlrd.value(c.file).toArray().at(c.row).toArray().at(0).toString();
        EXPECT_TRUE(theirs == c.expected) << firstDifference(theirs, c.expected).toStdString();
    }
}

// A file whose bytes are changed at `at` after it was written.
QString damagedCopy(const QString& good, const QString& path, qsizetype at, QByteArray bytes)
{
    QFile in(good);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray data = in.readAll();
    if (at < 0)
        data.truncate(data.size() + at);
    else
        data.replace(at, bytes.size(), bytes);
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(data);
    return path;
}

TEST(XlsRoundTrip, DamagedFilesAreRefusedWithWordsForWhatIsWrong)
{
    QTemporaryDir dir;
    const QString good = writeWorkbook(dir.filePath(QStringLiteral("good.xls")),
                                       {cyclingText(kSixteenBit, 20000), QStringLiteral("short")});
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = goodFile.readAll();
    const qsizetype sst = bytes.indexOf(QByteArray("\xFC\x00", 2));
    ASSERT_GT(sst, 0);

    struct Damage {
        const char* what;
        qsizetype at;
        QByteArray bytes;
        const char* expectedWords;
    };
    const Damage damages[] = {
        {"the file cut in the middle of the long text", -(bytes.size() / 2), {}, "larger than the file"},
        {"no compound document header", 0, QByteArray("NOTANOLE", 8), "not an .xls workbook"},
        {"the long text's length raised past its characters", sst + 12, QByteArray("\x30\x75", 2),
         "a text ends in the middle"},
        {"the first sector of the FAT pointing outside the file", 76, QByteArray("\xFF\xFF\x00\x00", 4),
         "past the end of the file"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const QString file = damagedCopy(good, dir.filePath(QStringLiteral("bad.xls")), damage.at, damage.bytes);
        try {
            workbook::readXlsSheet(file);
            ADD_FAILURE() << "read without complaint";
        } catch (const FormatError& e) {
            EXPECT_TRUE(e.message().contains(QLatin1String(damage.expectedWords))) << e.what();
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Cannot read the workbook '"))) << e.what();
            EXPECT_FALSE(e.message().contains(QLatin1String("error -"))) << e.what();
        }
    }
}

} // namespace
