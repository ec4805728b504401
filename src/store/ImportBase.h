#pragma once
// The base: the description and logs 1 to 99 of every activity as P3
// delivered them at the last import, kept in pdb.mdb beside P3Data (table
// ImportBase; the project they came from is the import's own record, see
// TableImport.h). With it the save tells the user's own edits from what
// others changed in P3 since, and the grid, the change list and the
// question before a re-import tell what has not been saved yet.
//
// P3Data's layout stays as it is: the base lives in a table of its own, made
// by `orvane-batch makedb` and, in an older file, by its next import.
//
// A base is only trusted while it describes the table: when P3Data holds an
// activity ID the base does not know (the table was filled by other means
// since), there is no base, and nothing tells edits from P3's changes.

#include "store/ActivityLayout.h"

#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orvane::store {

class Database;

// The texts the save and the base compare: field 0 is the description,
// field n (1 to 99) log n.
inline constexpr int kTextFieldCount = 1 + kLogCount;

constexpr int columnOfTextField(int field) { return field == 0 ? kDescriptionColumn : logColumn(field); }
// "Description" or "Log#n".
QString textFieldName(int field);

struct ActivityTexts {
    std::array<QString, kTextFieldCount> fields;   // a null or absent text reads as empty
    QString& description() { return fields[0]; }
    const QString& description() const { return fields[0]; }
    QString& log(int n) { return fields[size_t(n)]; }
    const QString& log(int n) const { return fields[size_t(n)]; }
};

// The project a base was imported from.
struct BaseProject {
    QString group;
    QString name;     // empty for the group itself
    QString folder;   // the folder it was opened from; empty when unknown
    // Whether a project is this one: the same group and subproject, in the
    // same folder where both folders are known (a copy of the project in
    // another folder is another project).
    bool is(const QString& otherGroup, const QString& otherName, const QString& otherFolder) const;
};

// One text that differs between the table and its base.
struct ChangedText {
    QString activityId;
    int field = 0;   // 0 description, n log n
    QString base;
    QString current;
};

class ImportBase {
public:
    explicit ImportBase(Database& database);
    ~ImportBase();
    ImportBase(const ImportBase&) = delete;
    ImportBase& operator=(const ImportBase&) = delete;

    // Makes the base's tables when they are missing (an older file).
    static void createTables(Database& database);
    // The same on a connection of its own (makedb).
    static QString createTablesSql();

    // Inside the import's transaction, after P3Data was refilled and the
    // import counted with its project: the base becomes P3Data's texts.
    void replaceFromTable();

    // Counts the writes to the base made through this object: a reader
    // holding something of the base reads it again when this moved on.
    quint64 revision() const { return m_revision; }

    // The project of the base, when the file has one that describes P3Data.
    std::optional<BaseProject> project();

    // The base texts of an activity; false when the base has no single row
    // for it.
    bool lookup(const QString& activityId, ActivityTexts& texts);

    // Sets the base texts of fields of an activity (after the save moved
    // them), inside the caller's transaction.
    void setTexts(const QString& activityId, const std::vector<std::pair<int, QString>>& fields);

    // Every text of the table that differs from its base, in table order;
    // empty without a base.
    std::vector<ChangedText> changedTexts();
    // The number of activities with at least one such text.
    int changedActivityCount();
    // The IDs of those activities. Every other activity of the table holds
    // exactly its base (when the base describes the table).
    QSet<QString> changedActivityIds();

    // For each row of P3Data (or only the row `onlyRowId` when it is > 0)
    // that has a base row, the one sharing its rowid and its activity ID:
    // its rowid and, as bits (bit f of the 128, in two words), which of
    // `fields` differ from the base. Every such row, or only those with a
    // difference. Nothing without a base.
    enum class RowsReported { Every, Differing };
    using ChangedRowSink = std::function<void(qint64 rowId, quint64 low, quint64 high)>;
    void forEachMatchedRow(const std::vector<int>& fields, qint64 onlyRowId, RowsReported reported,
                           const ChangedRowSink& sink);

private:
    bool hasTables();
    Database& m_database;
    quint64 m_revision = 0;
    struct Statements;
    std::unique_ptr<Statements> m_statements;
};

} // namespace orvane::store
