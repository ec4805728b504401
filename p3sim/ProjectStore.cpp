#include "p3sim/ProjectStore.h"

#include "common/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <map>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace orvane::p3sim {

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw AutomationError(message);
}

} // namespace

// ---------------------------------------------------------------- activities

const std::array<ActivityField, kActivityFieldCount>& activityFields()
{
    using T = FieldType;
    static const std::array<ActivityField, kActivityFieldCount> fields = {{
        {"ActivityID", T::Text}, {"Description", T::Text},
        {"OriginalDuration", T::Number}, {"RemainingDuration", T::Number},
        {"TotalFloat", T::Number}, {"FreeFloat", T::Number},
        {"PercentComplete", T::Number}, {"EarlyStart", T::Date},
        {"LateStart", T::Date}, {"EarlyFinish", T::Date}, {"LateFinish", T::Date},
        {"ActualStart", T::Date}, {"ActualFinish", T::Date},
        {"ActualDuration", T::Number}, {"SuspendDate", T::Date},
        {"ResumeDate", T::Date}, {"ActivityType", T::Text},
        {"EarlyConstraintType", T::Text}, {"EarlyConstraintDate", T::Date},
        {"LateConstraintType", T::Text}, {"LateConstraintDate", T::Date},
        {"MandatoryConstraintType", T::Text}, {"MandatoryConstraintDate", T::Date},
        {"ExpectedFinishDate", T::Date}, {"WBSCodeWithSeparators", T::Text},
        {"FloatConstraintType", T::Text}, {"WBSCode", T::Text}, {"CalendarID", T::Text},
    }};
    return fields;
}

int activityFieldIndex(const QString& member)
{
    const auto& fields = activityFields();
    for (int i = 0; i < kActivityFieldCount; ++i) {
        const QLatin1String name(fields[size_t(i)].name);
        if (name.size() == member.size() && member.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant typedValue(const QJsonValue& value, FieldType type)
{
    if (value.isNull() || value.isUndefined())
        return QVariant();
    switch (type) {
    case FieldType::Text:
        if (value.isString())
            return value.toString();
        if (value.isDouble())
            return QString::number(value.toDouble());
        return value.toVariant().toString();
    case FieldType::Number:
        if (value.isDouble())
            return value.toDouble();
        if (value.isString()) {
            bool ok = false;
            const double d = value.toString().toDouble(&ok);
            return ok ? QVariant(d) : QVariant();
        }
        return QVariant();
    case FieldType::Date: {
        if (!value.isString() || value.toString().isEmpty())
            return QVariant();
        const QString text = value.toString();
        QDateTime dt = QDateTime::fromString(text, Qt::ISODate);
        if (!dt.isValid()) {
            const QDate d = QDate::fromString(text, Qt::ISODate);
            if (d.isValid())
                dt = d.startOfDay();
        }
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    }
    return QVariant();
}

// ---------------------------------------------------------------- groups

QStringList projectHeaderFiles(const QString& folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return {};
    // Matched here rather than with a name filter so that the match is
    // case-insensitive, as on the Windows file system.
    QStringList files;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : entries) {
        if (info.fileName().endsWith(QLatin1String("dir.p3"), Qt::CaseInsensitive))
            files << info.absoluteFilePath();
    }
    return files;
}

namespace {

QString groupNameOf(const QString& headerFile)
{
    const QString name = QFileInfo(headerFile).fileName();
    return name.left(name.size() - 6);   // strip "dir.p3"
}

QJsonObject readJsonObject(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read %1 \"%2\": %3").arg(what, path, file.errorString()));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("%1 \"%2\" is damaged: %3 at offset %4")
                 .arg(what, path, error.errorString()).arg(error.offset));
    if (!doc.isObject())
        fail(QStringLiteral("%1 \"%2\" is damaged: not a JSON object").arg(what, path));
    return doc.object();
}

} // namespace

GroupHeader readGroupHeader(const QString& headerFile)
{
    const QString what = QStringLiteral("Project file");
    const QJsonObject root = readJsonObject(headerFile, what);
    auto bad = [&](const QString& reason) {
        fail(QStringLiteral("%1 \"%2\" is damaged: %3").arg(what, headerFile, reason));
    };
    if (root.value(QLatin1String("format")).toString() != QLatin1String("p3sim-project"))
        bad(QStringLiteral("\"format\" is not \"p3sim-project\""));

    GroupHeader header;
    header.headerFile = QFileInfo(headerFile).absoluteFilePath();
    header.group = groupNameOf(headerFile);
    header.title = root.value(QLatin1String("title")).toString();
    const QDir base = QFileInfo(headerFile).absoluteDir();

    for (const QJsonValue& v : root.value(QLatin1String("activityCodes")).toArray()) {
        const QJsonObject o = v.toObject();
        if (o.value(QLatin1String("name")).toString().isEmpty())
            bad(QStringLiteral("an activity code has no name"));
        header.codes.push_back({o.value(QLatin1String("name")).toString(),
                                o.value(QLatin1String("title")).toString()});
    }
    for (const QJsonValue& v : root.value(QLatin1String("filters")).toArray()) {
        const QJsonObject o = v.toObject();
        FilterDef f;
        f.id = o.value(QLatin1String("id")).toString();
        f.title = o.value(QLatin1String("title")).toString();
        if (f.id.isEmpty())
            bad(QStringLiteral("a filter has no id"));
        for (const QJsonValue& c : o.value(QLatin1String("criteria")).toArray()) {
            const QJsonObject co = c.toObject();
            FilterCriterion crit{co.value(QLatin1String("field")).toString(),
                                 co.value(QLatin1String("op")).toString().toLower(),
                                 co.value(QLatin1String("value"))};
            static const QStringList ops = {"eq", "ne", "lt", "le", "gt", "ge", "contains",
                                            "startswith", "empty", "notempty"};
            if (crit.field.isEmpty() || !ops.contains(crit.op))
                bad(QStringLiteral("filter %1 has a bad criterion").arg(f.id));
            f.criteria.push_back(crit);
        }
        header.filters.push_back(f);
    }
    const QJsonArray subs = root.value(QLatin1String("subprojects")).toArray();
    for (const QJsonValue& v : subs) {
        const QJsonObject o = v.toObject();
        SubprojectDef s{o.value(QLatin1String("name")).toString(),
                        o.value(QLatin1String("title")).toString(),
                        o.value(QLatin1String("activities")).toString()};
        if (s.name.isEmpty() || s.activitiesFile.isEmpty())
            bad(QStringLiteral("a subproject has no name or no activities file"));
        s.activitiesFile = base.absoluteFilePath(s.activitiesFile);
        header.subprojects.push_back(s);
    }
    if (subs.isEmpty()) {
        const QString file = root.value(QLatin1String("activities")).toString();
        if (file.isEmpty())
            bad(QStringLiteral("no \"activities\" file"));
        header.activitiesFile = base.absoluteFilePath(file);
    }
    return header;
}

namespace {

// Compares an activity's value of a field with a criterion's value.
// Returns <0, 0, >0; nullopt when the two cannot be compared.
std::optional<int> compareValues(const QVariant& actual, const QJsonValue& wanted)
{
    if (actual.metaType() == QMetaType::fromType<double>()) {
        if (!wanted.isDouble())
            return std::nullopt;
        const double a = actual.toDouble(), b = wanted.toDouble();
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    if (actual.metaType() == QMetaType::fromType<QDateTime>()) {
        const QVariant w = typedValue(wanted, FieldType::Date);
        if (!w.isValid())
            return std::nullopt;
        const QDateTime a = actual.toDateTime(), b = w.toDateTime();
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    const QString a = actual.toString();
    const QString b = wanted.isString() ? wanted.toString() : wanted.toVariant().toString();
    return a.compare(b, Qt::CaseInsensitive);
}

} // namespace

bool filterMatches(const FilterDef& filter, const QJsonObject& activity)
{
    const QJsonObject codes = activity.value(QLatin1String("codes")).toObject();
    for (const FilterCriterion& c : filter.criteria) {
        QVariant actual;
        const int field = activityFieldIndex(c.field);
        if (field >= 0) {
            const ActivityField& def = activityFields()[size_t(field)];
            actual = typedValue(activity.value(QLatin1String(def.name)), def.type);
        } else {
            actual = codes.value(c.field).toString();
        }
        const bool empty = !actual.isValid() || actual.toString().isEmpty();
        bool ok = false;
        if (c.op == QLatin1String("empty")) {
            ok = empty;
        } else if (c.op == QLatin1String("notempty")) {
            ok = !empty;
        } else if (c.op == QLatin1String("contains")) {
            ok = actual.toString().contains(c.value.toString(), Qt::CaseInsensitive);
        } else if (c.op == QLatin1String("startswith")) {
            ok = actual.toString().startsWith(c.value.toString(), Qt::CaseInsensitive);
        } else if (!actual.isValid()) {
            ok = c.op == QLatin1String("ne");
        } else {
            const std::optional<int> cmp = compareValues(actual, c.value);
            if (!cmp)
                ok = c.op == QLatin1String("ne");
            else if (c.op == QLatin1String("eq")) ok = *cmp == 0;
            else if (c.op == QLatin1String("ne")) ok = *cmp != 0;
            else if (c.op == QLatin1String("lt")) ok = *cmp < 0;
            else if (c.op == QLatin1String("le")) ok = *cmp <= 0;
            else if (c.op == QLatin1String("gt")) ok = *cmp > 0;
            else if (c.op == QLatin1String("ge")) ok = *cmp >= 0;
        }
        if (!ok)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- data files

quint32 crc32(QByteArrayView data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : data)
        crc = table[(crc ^ quint8(ch)) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QString journalPath(const QString& dataFile)
{
    return dataFile + QStringLiteral(".journal");
}

namespace {

std::map<QString, std::weak_ptr<DataFile>>& openFiles()
{
    // Never destroyed: data files held by static objects are released
    // after the statics of this file are gone.
    static auto* files = new std::map<QString, std::weak_ptr<DataFile>>;
    return *files;
}

void syncFile(QFile& file)
{
#ifdef Q_OS_UNIX
    ::fdatasync(file.handle());
#else
    Q_UNUSED(file);
#endif
}

} // namespace

std::shared_ptr<DataFile> DataFile::open(const QString& path)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    auto& files = openFiles();
    if (auto it = files.find(key); it != files.end()) {
        if (auto existing = it->second.lock())
            return existing;
    }
    std::shared_ptr<DataFile> file(new DataFile(key));
    file->load();
    files[key] = file;
    return file;
}

void DataFile::compactAll()
{
    for (auto& [path, weak] : openFiles()) {
        if (auto file = weak.lock())
            file->compact();
    }
}

DataFile::DataFile(QString path) : m_path(std::move(path)) {}

DataFile::~DataFile()
{
    try {
        compact();
    } catch (...) {
        // The journal still holds every committed change; the next open replays it.
    }
    auto& files = openFiles();
    if (auto it = files.find(m_path); it != files.end() && it->second.expired())
        files.erase(it);
}

void DataFile::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read project data \"%1\": %2").arg(m_path, file.errorString()));
    const QByteArray all = file.readAll();
    file.close();
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        QByteArray line = all.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            m_lines.push_back(std::move(line));
        start = end + 1;
    }

    // Replay the journal: each complete, intact line replaces one activity.
    // A torn or damaged line ends the replay; what follows it was never
    // acknowledged as committed.
    QFile journal(journalPath(m_path));
    if (!journal.exists())
        return;
    if (!journal.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read project journal \"%1\": %2").arg(journal.fileName(), journal.errorString()));
    const QByteArray log = journal.readAll();
    journal.close();
    qsizetype pos = 0;
    bool clean = true;
    while (pos < log.size()) {
        const qsizetype end = log.indexOf('\n', pos);
        if (end < 0) {
            clean = false;
            break;
        }
        const QByteArray entry = log.mid(pos, end - pos);
        pos = end + 1;
        const qsizetype sp1 = entry.indexOf(' ');
        const qsizetype sp2 = sp1 < 0 ? -1 : entry.indexOf(' ', sp1 + 1);
        bool okCrc = false, okIndex = false;
        const quint32 crc = sp1 == 8 ? entry.left(8).toUInt(&okCrc, 16) : 0;
        const QByteArray body = sp1 < 0 ? QByteArray() : entry.mid(sp1 + 1);
        const int index = sp2 < 0 ? -1 : entry.mid(sp1 + 1, sp2 - sp1 - 1).toInt(&okIndex);
        if (!okCrc || !okIndex || crc32(body) != crc || index < 0 || index >= size()) {
            clean = false;
            break;
        }
        m_lines[size_t(index)] = entry.mid(sp2 + 1);
        m_dirty = true;
    }
    if (!clean) {
        // New entries must not land behind a damaged tail, where a replay
        // would never reach them: fold the good part in now.
        m_dirty = true;
        compact();
    }
}

QJsonObject DataFile::activity(int index) const
{
    // The JSON reader drops U+FEFF at the start of a string; P3 keeps it.
    // In valid JSON its bytes can only stand inside a string, where the
    // escape reads back whole.
    QByteArray json = line(index);
    json.replace("\xEF\xBB\xBF", "\\ufeff");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        fail(QStringLiteral("Project data \"%1\" is damaged at activity %2: %3")
                 .arg(m_path).arg(index + 1)
                 .arg(error.error != QJsonParseError::NoError ? error.errorString()
                                                              : QStringLiteral("not a JSON object")));
    return doc.object();
}

void DataFile::commit(int index, QByteArray json, bool sync)
{
    // "<crc> <index> <json>\n", the checksum covering "<index> <json>".
    QByteArray entry;
    entry.reserve(json.size() + 32);
    entry.append("00000000 ").append(QByteArray::number(index)).append(' ').append(json).append('\n');
    const QByteArray crc = QByteArray::number(crc32(QByteArrayView(entry).sliced(9, entry.size() - 10)), 16)
                               .rightJustified(8, '0');
    std::copy(crc.begin(), crc.end(), entry.begin());
    if (!m_journal) {
        m_journal = std::make_unique<QFile>(journalPath(m_path));
        if (!m_journal->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            const QString reason = m_journal->errorString();
            m_journal.reset();
            fail(QStringLiteral("Cannot write project journal \"%1\": %2").arg(journalPath(m_path), reason));
        }
    }
    // One write call per entry: the kernel has the whole entry or none of
    // it when the process dies; a torn entry after a power loss fails its
    // checksum and is dropped.
    if (m_journal->write(entry) != entry.size())
        fail(QStringLiteral("Cannot write project journal \"%1\": %2").arg(journalPath(m_path), m_journal->errorString()));
    if (sync)
        syncFile(*m_journal);
    m_lines[size_t(index)] = std::move(json);
    m_dirty = true;
}

void DataFile::compact()
{
    if (!m_dirty)
        return;
    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot write project data \"%1\": %2").arg(m_path, out.errorString()));
    for (const QByteArray& line : m_lines) {
        out.write(line);
        out.write("\n", 1);
    }
    // commit() flushes the temporary file to the disk and renames it over
    // the old one: readers see the old file or the new one, never a mix.
    if (!out.commit())
        fail(QStringLiteral("Cannot write project data \"%1\": %2").arg(m_path, out.errorString()));
    if (m_journal) {
        m_journal->close();
        m_journal.reset();
    }
    // A crash before this line leaves a journal whose entries are already
    // in the file; replaying them again gives the same activities.
    QFile::remove(journalPath(m_path));
    m_dirty = false;
}

// ---------------------------------------------------------------- users

std::optional<std::vector<UserEntry>> usersListFor(const QString& folder, const QString& usersFile)
{
    QString path = usersFile;
    if (path.isEmpty()) {
        if (folder.isEmpty())
            return std::nullopt;
        path = QDir(folder).filePath(QLatin1String(kUsersFileName));
    }
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    const QJsonObject root = readJsonObject(path, QStringLiteral("Users list"));
    std::vector<UserEntry> users;
    for (const QJsonValue& v : root.value(QLatin1String("users")).toArray()) {
        const QJsonObject o = v.toObject();
        users.push_back({o.value(QLatin1String("name")).toString(),
                         o.value(QLatin1String("password")).toString(),
                         o.value(QLatin1String("signedInElsewhere")).toBool()});
    }
    return users;
}

} // namespace orvane::p3sim
