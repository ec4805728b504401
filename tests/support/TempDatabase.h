#pragma once
// Test fixture support: a fresh "pdb.mdb" in a temporary folder that is
// made the current directory for the test's lifetime.

#include <QDateTime>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

namespace orvane::testing {

class TempWorkDir {
public:
    // Creates the folder and enters it; with a database when withDatabase.
    explicit TempWorkDir(bool withDatabase = true);
    ~TempWorkDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Points the user's settings (the remembered P3 user) at `folder`, so tests
// never read or write the real ones.
void isolateUserSettings(const QString& folder);

// Inserts a row straight into pdb.mdb of the current directory, bypassing
// the table cache; values by field name. Returns the rowid.
qint64 insertRow(const QVariantMap& values);

// Runs raw SQLite SQL against pdb.mdb of the current directory.
void execRaw(const QString& sql);

// Reads one value straight from the file: SELECT [field] FROM P3Data WHERE ActivityID = id.
QVariant readValue(const QString& activityId, const QString& field);

// Every row of P3Data in rowid order, each as one text holding the rowid and
// the storage class and bytes of every column: two dumps are equal only when
// the table is the same byte for byte.
QStringList dumpTable();

} // namespace orvane::testing
