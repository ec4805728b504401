#pragma once
// On-disk side of the simulated server: project group headers ("*dir.p3"),
// activity data files with their update journals, and users lists.
// The format is described in p3sim/README.md.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace orvane::p3sim {

// ---------------------------------------------------------------- activities

enum class FieldType { Text, Number, Date };

struct ActivityField {
    const char* name;
    FieldType type;
};

inline constexpr int kActivityFieldCount = 28;
// The 28 activity data members with the type P3 delivers them as.
const std::array<ActivityField, kActivityFieldCount>& activityFields();
// Index of a data member (case-insensitive, as late binding is), or -1.
int activityFieldIndex(const QString& member);

// A JSON value of an activity member as P3 delivers it: text, number (double),
// date (local QDateTime) or empty.
QVariant typedValue(const QJsonValue& value, FieldType type);

// ---------------------------------------------------------------- groups

struct FilterCriterion {
    QString field;   // an activity member or an activity code name
    QString op;      // eq ne lt le gt ge contains startswith empty notempty
    QJsonValue value;
};

struct FilterDef {
    QString id;
    QString title;
    std::vector<FilterCriterion> criteria;   // all must hold
};

struct CodeDef {
    QString name;
    QString title;
};

struct SubprojectDef {
    QString name;
    QString title;
    QString activitiesFile;   // absolute path
};

struct GroupHeader {
    QString group;            // from the file name: "<group>dir.p3"
    QString headerFile;       // absolute path of the "*dir.p3" file
    QString title;
    std::vector<CodeDef> codes;
    std::vector<FilterDef> filters;
    QString activitiesFile;   // absolute path; groups without subprojects
    std::vector<SubprojectDef> subprojects;
};

// The "*dir.p3" files of a folder (case-insensitive match, files only),
// sorted by name.
QStringList projectHeaderFiles(const QString& folder);
// Reads a group header. Throws AutomationError naming the file when it is
// missing or malformed.
GroupHeader readGroupHeader(const QString& headerFile);

// Does an activity (as stored) pass all criteria of a filter?
bool filterMatches(const FilterDef& filter, const QJsonObject& activity);

// ---------------------------------------------------------------- data files

// The activities of one project file, one JSON object per line, with the
// journal of committed updates replayed over them. Shared by every project
// object of the process that opens the same file.
class DataFile {
public:
    // The open instance for a path, loading it when no one holds it.
    static std::shared_ptr<DataFile> open(const QString& path);
    // Compacts every open data file (see compact()).
    static void compactAll();

    ~DataFile();   // compacts, ignoring errors (the journal stays valid)

    const QString& path() const { return m_path; }
    int size() const { return int(m_lines.size()); }
    const QByteArray& line(int index) const { return m_lines[size_t(index)]; }
    // Parses the activity at index. Throws AutomationError on bad data.
    QJsonObject activity(int index) const;

    // Replaces activity index with json (one compact JSON object, no line
    // break) and appends the change to the journal. Once it returns, the
    // change survives a crash of the process (and a power loss when sync
    // is set).
    void commit(int index, QByteArray json, bool sync);
    // Writes the file anew with every committed change (temporary file,
    // flushed, renamed over the old one) and removes the journal.
    void compact();

private:
    explicit DataFile(QString path);
    void load();

    QString m_path;
    std::vector<QByteArray> m_lines;
    std::unique_ptr<QFile> m_journal;
    bool m_dirty = false;
};

QString journalPath(const QString& dataFile);
quint32 crc32(QByteArrayView data);

// ---------------------------------------------------------------- users

struct UserEntry {
    QString name;
    QString password;
    bool signedInElsewhere = false;
};

inline constexpr const char* kUsersFileName = "p3users.json";

// The server's users list: the configured users file when set, else
// "p3users.json" in the projects folder; nullopt when there is none.
// Throws AutomationError when the list exists but is malformed.
std::optional<std::vector<UserEntry>> usersListFor(const QString& folder, const QString& usersFile);

} // namespace orvane::p3sim
