#include "WorkbookFuzzSupport.h"

#include "common/Errors.h"
#include "store/ExportRecord.h"
#include "workbook/SheetReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace orvane::fuzz {

QString scratchFile(const char* name)
{
    static QTemporaryDir dir;
    return dir.filePath(QString::fromLatin1(name));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

namespace {

// Captions an update would read: the marker's column and those starting with "K".
const workbook::CellChoice& updateLikeChoice()
{
    static const workbook::CellChoice choice{QStringLiteral("ID"), 8, [](const QString& caption) {
                                                 return caption == QLatin1String("ID")
                                                        || caption.startsWith(QLatin1Char('K'));
                                             }};
    return choice;
}

template <typename Read>
auto readOrRefuse(Read read) -> std::optional<decltype(read())>
{
    try {
        return read();
    } catch (const FormatError&) {
        return std::nullopt;
    }
}

} // namespace

void readWorkbookBothWays(const QString& path)
{
    const auto all = readOrRefuse([&] { return workbook::readFirstSheet(path); });
    const auto chosen = readOrRefuse(
        [&] { return workbook::readFirstAndNamedSheet(path, updateLikeChoice(), store::exportRecordSheetName()); });
    if (!all || !chosen)
        return;
    const workbook::SheetRows& sheet = chosen->first;
    for (int r = 0; r < sheet.rows.size(); ++r) {
        for (int c = 0; c < sheet.rows.at(r).size(); ++c) {
            const QString& text = sheet.rows.at(r).at(c);
            if (!text.isEmpty() && text != all->cell(r, c)) {
                std::fprintf(stderr, "cell (%d, %d): the update read \"%s\", the full read \"%s\"\n", r, c,
                             qPrintable(text), qPrintable(all->cell(r, c)));
                std::abort();
            }
        }
    }
}

} // namespace orvane::fuzz
