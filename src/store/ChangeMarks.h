#pragma once
// Which texts of the table differ from the base (what P3 delivered at the
// last import): the marks the grid draws on changed cells, and the number
// of activities with unsaved changes.
//
// One 128-bit mask per row of P3Data, indexed by rowid (16 bytes a row;
// an import numbers its rows from 1 on), bit 0 the description and bit n
// log n. The masks follow the table: a re-read of some columns compares
// just those columns again, a posted row just that row, a re-read of whole
// rows everything. Nothing is computed while the marks are off (scripts).
//
// The base is read once per import or save and kept as a 64-bit digest of
// each of its non-empty texts (about 9 bytes a text), so following a bulk
// command compares the table's cached column with the digests in memory
// instead of reading both tables again. Writes to the base made through
// the ImportBase this follows (an import, a save, a conflict resolved) are
// seen by its revision, and read again before the next comparison.

#include "store/ImportBase.h"

#include <QObject>

#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <vector>

namespace orvane::store {

class ActivityTable;
class Database;

class ChangeMarks : public QObject {
    Q_OBJECT
public:
    ChangeMarks(ActivityTable& table, ImportBase& base, QObject* parent = nullptr);

    // Off: no marks and no count. On: everything compared at once.
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // Compares every row again (after the base changed: an import, a save).
    void recomputeAll();
    // recomputeAll() when the base was written since the marks read it
    // (the base's revision moved), else nothing.
    void followBase();

    // Whether the text in `column` of the row `rowId` differs from its base.
    bool isChanged(qint64 rowId, int column) const;
    // The number of rows with at least one changed text.
    int changedRowCount() const { return m_changedRows; }
    // Bytes the masks and the base's digests hold (benchmarks).
    std::size_t heldBytes() const;

signals:
    // The marks or the count changed.
    void marksChanged();

private:
    struct Mask {
        std::uint64_t bits[2] = {0, 0};
        bool any() const { return (bits[0] | bits[1]) != 0; }
    };
    // The base's texts as digests, by rowid: per base row the digest of its
    // activity ID (the base row stands for the table row of the same rowid
    // only while their IDs agree) and of each non-empty text.
    class BaseDigests {
    public:
        void read(Database& database, qint64 firstRowId, std::size_t rows);
        std::size_t heldBytes() const;
        // The bits of `fields` whose texts differ from the base row at
        // `index`, for a table row with the activity ID `id` (none: null)
        // whose text of fields[i] is textOf(i) (a null text empty); none
        // when the base holds no row for it.
        template <typename TextOf>
        Mask differences(std::size_t index, const std::optional<QByteArrayView>& id,
                         const std::vector<int>& fields, TextOf&& textOf) const;

    private:
        std::vector<std::uint64_t> m_idDigests;   // per row: 0 no base row, else see idDigest()
        std::vector<std::uint32_t> m_firstText;   // per row, and one past the last: into the two below
        std::vector<std::uint8_t> m_textFields;   // field of each non-empty base text, ascending per row
        std::vector<std::uint64_t> m_textDigests;
    };

    void onDataReread(const std::vector<int>& columns);
    void onRowPosted(int row);
    // Compares `fields` of every row, or of the row `onlyRowId` when > 0:
    // from the table's cache when it holds every row, else from the file.
    void compare(const std::vector<int>& fields, qint64 onlyRowId);
    bool compareCachedRows(const std::vector<int>& fields);
    void compareFileRows(const std::vector<int>& fields, qint64 onlyRowId);
    Mask* maskOf(qint64 rowId);
    void recount();

    ActivityTable& m_table;
    ImportBase& m_base;
    bool m_enabled = false;
    bool m_hasBase = false;
    qint64 m_firstRowId = 1;
    std::vector<Mask> m_masks;
    BaseDigests m_digests;
    quint64 m_digestsRevision = 0;   // the base's revision when m_digests were read
    int m_changedRows = 0;
};

} // namespace orvane::store
