// Exports the peer benchmark's grid (gen.py TSV: band row, caption row, data
// rows of the activity grid's default visible columns) through the
// grid-to-sheet export into an .xls file, or an .xlsx file when OUT ends in
// .xlsx. The layout (bands, columns,
// widths, alignments) is the activity grid's start layout; the display texts
// come from the TSV, read into memory first as a grid holds its rows.
//
// usage: export_bench [-n] IN.tsv OUT.xls|OUT.xlsx
//        export_bench --grid IN.tsv OUT.xls|OUT.xlsx
//   -n      read and index the TSV only, export nothing (baseline)
//   --grid  load the rows into a fresh pdb.mdb (in a temporary folder) and
//           export through the activity grid's view model over that table,
//           as the main window does; dates and numbers then show as the grid
//           formats them. Prints the load and the export time separately.
// Prints the export's own time and anything left out to standard error.

#include "export/GridExport.h"
#include "grid/ActivityGridLayout.h"
#include "grid/GridViewModel.h"
#include "store/ActivityLayout.h"
#include "store/ActivityStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <QFile>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <chrono>
#include <cstdio>
#include <vector>

using namespace orvane;
using namespace orvane::exporting;

namespace {

class TsvSource final : public ExportSource {
public:
    // data: the TSV's bytes, which must outlive the source.
    TsvSource(const grid::GridViewModel& layout, QByteArrayView data) : m_layout(layout), m_data(data)
    {
        const QVector<int> shown = layout.visibleColumnsInOrder();
        m_tsvColumnOf.assign(std::size_t(layout.columnCount()), -1);
        for (int i = 0; i < shown.size(); ++i)
            m_tsvColumnOf[std::size_t(shown[i])] = i;
        m_fieldCount = int(shown.size());
        const char* p = m_data.constData();
        const qsizetype n = m_data.size();
        for (qsizetype at = 0; at < n;) {
            m_lines.push_back(std::uint32_t(at));
            const void* nl = std::memchr(p + at, '\n', std::size_t(n - at));
            at = nl ? static_cast<const char*>(nl) - p + 1 : n;
        }
        m_lines.push_back(std::uint32_t(n + 1));
        m_spans.resize(2 * std::size_t(m_fieldCount));
    }

    int lineCount() const { return int(m_lines.size()) - 1; }

    ExportViewOptions options() const override { return m_grid.options(); }
    int columnCount() const override { return m_grid.columnCount(); }
    ExportColumnInfo column(int index) const override { return m_grid.column(index); }
    QVector<ExportBandInfo> visibleBands() const override { return m_grid.visibleBands(); }
    QVector<int> visibleColumns(int band) const override { return m_grid.visibleColumns(band); }
    int headerRowCount() const override { return m_grid.headerRowCount(); }
    // Lines 0 and 1 of the TSV are the band and caption rows.
    int recordCount() const override { return std::max(0, lineCount() - 2); }

    QStringView displayText(int record, int column) const override
    {
        const int field = m_tsvColumnOf[std::size_t(column)];
        if (field < 0)
            return {};
        if (record != m_row)
            loadRow(record);
        const std::uint32_t from = m_spans[2 * std::size_t(field)], to = m_spans[2 * std::size_t(field) + 1];
        return QStringView(m_chars.data() + from, qsizetype(to - from));
    }

    void displayTexts(int record, const int* columns, int count, QStringView* texts) const override
    {
        if (record != m_row)
            loadRow(record);
        for (int i = 0; i < count; ++i) {
            const int field = m_tsvColumnOf[std::size_t(columns[i])];
            if (field < 0) {
                texts[i] = {};
                continue;
            }
            const std::uint32_t from = m_spans[2 * std::size_t(field)], to = m_spans[2 * std::size_t(field) + 1];
            texts[i] = QStringView(m_chars.data() + from, qsizetype(to - from));
        }
    }

private:
    // Widens a line into one UTF-16 buffer, byte for byte at the same
    // offsets, and cuts it at its tabs; a field holding UTF-8 beyond ASCII
    // is decoded properly into the buffer's tail instead.
    void loadRow(int record) const
    {
        m_row = record;
        const int line = record + 2;
        const auto* p = reinterpret_cast<const std::uint8_t*>(m_data.constData()) + m_lines[std::size_t(line)];
        std::uint32_t len = m_lines[std::size_t(line) + 1] - 1 - m_lines[std::size_t(line)];
        if (m_lines[std::size_t(line)] + len > std::uint32_t(m_data.size()))
            len = std::uint32_t(m_data.size()) - m_lines[std::size_t(line)];
        if (len > 0 && p[len - 1] == '\n')
            --len;
        m_chars.resize(std::size_t(len) * 2 + 16);
        char16_t* out = m_chars.data();

        m_tabs.clear();
        m_highFields.clear();
        std::uint32_t i = 0;
#if defined(__SSE2__)
        const __m128i tab = _mm_set1_epi8('\t');
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= len; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
            unsigned tabs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, tab)));
            if (_mm_movemask_epi8(v))
                m_highFields.push_back(i);   // a block with bytes beyond ASCII
            while (tabs) {
                m_tabs.push_back(i + std::uint32_t(__builtin_ctz(tabs)));
                tabs &= tabs - 1;
            }
        }
#endif
        bool tailHigh = false;
        for (; i < len; ++i) {
            out[i] = char16_t(p[i]);
            if (p[i] == '\t')
                m_tabs.push_back(i);
            tailHigh |= p[i] >= 0x80;
        }
        m_tabs.push_back(len);   // the end of the last field

        // Field spans; fields in a block with high bytes are checked and
        // decoded from UTF-8 into the tail of the buffer.
        std::uint32_t tail = len;
        std::uint32_t from = 0;
        std::size_t block = 0;
        for (int f = 0; f < m_fieldCount; ++f) {
            const std::uint32_t to = std::size_t(f) < m_tabs.size() ? m_tabs[std::size_t(f)] : len;
            bool high = tailHigh && to > (len & ~15u);
            while (block < m_highFields.size() && m_highFields[block] + 16 <= from)
                ++block;
            if (block < m_highFields.size() && m_highFields[block] < to)
                high = true;
            if (high) {
                bool any = false;
                for (std::uint32_t k = from; k < to && !any; ++k)
                    any = p[k] >= 0x80;
                if (any) {
                    const QString wide = QString::fromUtf8(reinterpret_cast<const char*>(p + from), qsizetype(to - from));
                    if (m_chars.size() < tail + std::size_t(wide.size())) {
                        m_chars.resize(tail + std::size_t(wide.size()) + 16);
                        out = m_chars.data();
                    }
                    std::memcpy(out + tail, wide.utf16(), std::size_t(wide.size()) * 2);
                    m_spans[2 * std::size_t(f)] = tail;
                    m_spans[2 * std::size_t(f) + 1] = tail + std::uint32_t(wide.size());
                    tail += std::uint32_t(wide.size());
                    from = std::min(to + 1, len);
                    continue;
                }
            }
            m_spans[2 * std::size_t(f)] = from;
            m_spans[2 * std::size_t(f) + 1] = to;
            from = std::min(to + 1, len);
        }
    }

    const grid::GridViewModel& m_layout;
    GridExportSource m_grid{m_layout};
    QByteArrayView m_data;
    std::vector<std::uint32_t> m_lines;
    std::vector<int> m_tsvColumnOf;
    int m_fieldCount = 0;
    mutable int m_row = -1;
    mutable std::vector<char16_t> m_chars;
    mutable std::vector<std::uint32_t> m_spans;       // begin, end per field
    mutable std::vector<std::uint32_t> m_tabs;
    mutable std::vector<std::uint32_t> m_highFields;  // 16-byte blocks with bytes beyond ASCII
};

} // namespace

namespace {

// The process's peak resident memory so far in MiB (Linux; -1 elsewhere).
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Loads the TSV's data rows into P3Data of a new pdb.mdb in the current
// folder: the grid's default visible columns, dates as the store keeps them.
void loadDatabase(const QByteArray& tsv, const grid::GridViewModel& layout)
{
    sqlite3* db = nullptr;
    if (sqlite3_open("pdb.mdb", &db) != SQLITE_OK)
        throw std::runtime_error("cannot create pdb.mdb");
    auto exec = [db](const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = error ? error : "sqlite error";
            sqlite3_free(error);
            throw std::runtime_error(text);
        }
    };
    exec(store::createTableSql());
    const QVector<int> shown = layout.visibleColumnsInOrder();
    QStringList names, marks;
    for (int id : shown) {
        names << QLatin1Char('[') + store::fieldName(id) + QLatin1Char(']');
        marks << QStringLiteral("?");
    }
    exec(QStringLiteral("BEGIN"));
    sqlite3_stmt* insert = nullptr;
    const QByteArray sql =
        QStringLiteral("INSERT INTO P3Data (%1) VALUES (%2)").arg(names.join(u','), marks.join(u',')).toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr);
    const QList<QByteArray> lines = tsv.split('\n');
    for (qsizetype l = 2; l < lines.size(); ++l) {
        if (lines[l].isEmpty())
            continue;
        const QList<QByteArray> fields = lines[l].split('\t');
        sqlite3_reset(insert);
        for (int i = 0; i < shown.size() && i < fields.size(); ++i) {
            const QString text = QString::fromUtf8(fields[i]);
            const int at = i + 1;
            if (text.isEmpty()) {
                sqlite3_bind_null(insert, at);
                continue;
            }
            switch (store::fieldKind(shown[i])) {
            case store::FieldKind::Number:
                sqlite3_bind_double(insert, at, text.toDouble());
                break;
            case store::FieldKind::Date: {
                const QDate d = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
                const QByteArray iso = d.toString(QStringLiteral("yyyy-MM-ddT00:00:00")).toUtf8();
                sqlite3_bind_text(insert, at, iso.constData(), int(iso.size()), SQLITE_TRANSIENT);
                break;
            }
            case store::FieldKind::Boolean:
                sqlite3_bind_int(insert, at, text == QLatin1String("True") ? 1 : 0);
                break;
            case store::FieldKind::Text: {
                const QByteArray utf8 = text.toUtf8();
                sqlite3_bind_text(insert, at, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (sqlite3_step(insert) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    sqlite3_finalize(insert);
    exec(QStringLiteral("COMMIT"));
    sqlite3_close(db);
}

int exportThroughGrid(const QString& tsvPath, const QString& outPath)
{
    int argc = 1;
    char name[] = "export_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QFile in(tsvPath);
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray tsv = in.readAll();
    const QString out = QFileInfo(outPath).absoluteFilePath();
    QTemporaryDir work;
    QDir::setCurrent(work.path());

    const auto loadStart = std::chrono::steady_clock::now();
    grid::GridViewModel model;
    grid::applyActivityLayout(model);
    loadDatabase(tsv, model);
    store::ActivityStore store;
    store.ADOCon.open();
    store.taActivities.open();
    store.taActivities.fetchAll();
    model.setTable(&store.taActivities);
    std::fprintf(stderr, "loaded and sorted %d rows in %.1f ms, peak memory %.1f MiB\n", model.rowCount(),
                 msSince(loadStart), peakMiB());

    const auto start = std::chrono::steady_clock::now();
    const ExportResult result = ExportGridAsWorkbook(out, &model);
    std::fprintf(stderr, "exported %d records through the grid view model in %.1f ms, peak memory %.1f MiB\n",
                 result.recordsExported, msSince(start), peakMiB());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--grid") {
        if (args.size() != 3) {
            std::fprintf(stderr, "usage: export_bench --grid IN.tsv OUT.xls\n");
            return 2;
        }
        try {
            return exportThroughGrid(QString::fromStdString(args[1]), QString::fromStdString(args[2]));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    const bool dry = !args.empty() && args[0] == "-n";
    if (dry)
        args.erase(args.begin());
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: export_bench [-n] IN.tsv OUT.xls\n");
        return 2;
    }
    QFile in(QString::fromStdString(args[0]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", args[0].c_str());
        return 1;
    }
    grid::GridViewModel layout;
    grid::applyActivityLayout(layout);
    // The TSV is mapped, not copied: the grid's rows are in memory already
    // when an export starts, so reading them should cost as little as can be.
    const uchar* mapped = in.size() > 0 ? in.map(0, in.size()) : nullptr;
    const QByteArray fallback = mapped ? QByteArray() : in.readAll();
    TsvSource source(layout, mapped ? QByteArrayView(reinterpret_cast<const char*>(mapped), in.size())
                                    : QByteArrayView(fallback));
    if (dry) {
        // Reads every record's texts as the export would, writes nothing.
        std::vector<int> columns;
        for (int id : layout.visibleColumnsInOrder())
            columns.push_back(id);
        std::vector<QStringView> texts(columns.size());
        qsizetype chars = 0;
        for (int r = 0; r < source.recordCount(); ++r) {
            source.displayTexts(r, columns.data(), int(columns.size()), texts.data());
            for (const QStringView t : texts)
                chars += t.size();
        }
        std::fprintf(stderr, "read-only: %d records, %lld characters\n", source.recordCount(), qlonglong(chars));
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        const QString out = QString::fromStdString(args[1]);
        const ExportResult result = ExportGridWithProvider(out, exportKindForFileName(out), &source);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "exported %d records in %.1f ms\n", result.recordsExported, ms);
        if (!result.complete())
            std::fprintf(stderr, "%s\n", qPrintable(result.notice()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
