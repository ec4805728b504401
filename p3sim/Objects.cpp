// The automation objects of the simulated server: session, project
// abstracts, projects, filters, activity codes, activities, logs, and the
// collections and cursors that hold them.

#include "p3sim/ProjectStore.h"
#include "p3sim/Server.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

#include <optional>

namespace orvane::p3sim {

using p3link::AutomationObject;
using p3link::ObjectRef;
using p3link::objectOf;
using p3link::objectVariant;

namespace {

[[noreturn]] void raise(const QString& message)
{
    throw AutomationError(message);
}

[[noreturn]] void unknownName()
{
    raise(QStringLiteral("Unknown name."));
}

bool is(const QString& member, QLatin1String name)
{
    return member.size() == name.size() && member.compare(name, Qt::CaseInsensitive) == 0;
}

void expectArgs(const QVariantList& args, int min, int max)
{
    if (args.size() < min || args.size() > max)
        raise(QStringLiteral("Invalid number of parameters."));
}

QString textValue(const QVariant& v)
{
    if (!v.isValid() || v.metaType() == QMetaType::fromType<std::nullptr_t>())
        return QString();
    if (v.metaType() == QMetaType::fromType<ObjectRef>() || !v.canConvert<QString>())
        raise(QStringLiteral("Type mismatch."));
    return v.toString();
}

int intValue(const QVariant& v)
{
    bool ok = false;
    const int n = v.metaType() == QMetaType::fromType<ObjectRef>() ? 0 : v.toInt(&ok);
    if (!ok)
        raise(QStringLiteral("Type mismatch."));
    return n;
}

QString textArg(const QVariantList& args, int i)
{
    return textValue(args.at(i));
}

int intArg(const QVariantList& args, int i)
{
    return intValue(args.at(i));
}

bool boolArg(const QVariantList& args, int i)
{
    const QVariant& v = args.at(i);
    if (v.metaType() == QMetaType::fromType<bool>())
        return v.toBool();
    bool ok = false;
    const int n = v.metaType() == QMetaType::fromType<ObjectRef>() ? 0 : v.toInt(&ok);
    if (!ok)
        raise(QStringLiteral("Type mismatch."));
    return n != 0;
}

template <class T>
std::shared_ptr<T> objectArg(const QVariantList& args, int i)
{
    auto object = std::dynamic_pointer_cast<T>(objectOf(args.at(i)));
    if (!object)
        raise(QStringLiteral("Type mismatch."));
    return object;
}

// Appends text as a JSON string (UTF-8, escaped as JSON requires).
void appendJsonString(QByteArray& out, const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    for (const char ch : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                out.append(esc, 6);
            } else {
                out.append(ch);
            }
        }
    }
    out.append('"');
}

QVariant nothing()
{
    return objectVariant(nullptr);
}

// Base of every server object: logs the call, fires injected faults, then
// dispatches by member name (case-insensitive, as late binding is).
class SimObject : public AutomationObject {
public:
    QVariant invoke(const QString& member, const QVariantList& args) final
    {
        Control& c = control();
        if (c.watchingCalls())
            c.noteCall(typeName(), member, args, false);
        return call(member, args);
    }
    void put(const QString& member, const QVariant& value) final
    {
        Control& c = control();
        if (c.watchingCalls())
            c.noteCall(typeName(), member, QVariantList{value}, true);
        assign(member, value);
    }

protected:
    virtual QVariant call(const QString& member, const QVariantList& args) = 0;
    virtual void assign(const QString& member, const QVariant& value)
    {
        Q_UNUSED(value);
        // A known member that cannot be assigned gives the same answer as
        // an unknown one from a dispatch server.
        Q_UNUSED(member);
        raise(QStringLiteral("Member not found."));
    }
};

// ------------------------------------------------------------ collections

// A cursor over elements 0 .. count - 1: GetFirst starts again, GetNext goes
// on, and both yield nothing after the last element.
class IndexCursor : public SimObject {
public:
    QString typeName() const override { return QStringLiteral("Cursor"); }

protected:
    virtual size_t elementCount() const = 0;
    virtual QVariant element(size_t index) = 0;

    QVariant call(const QString& member, const QVariantList& args) override
    {
        expectArgs(args, 0, 0);
        if (is(member, QLatin1String("GetFirst")))
            m_next = 0;
        else if (!is(member, QLatin1String("GetNext")))
            unknownName();
        if (m_next >= elementCount())
            return nothing();
        return element(m_next++);
    }

private:
    size_t m_next = 0;
};

class ListCursor : public IndexCursor {
public:
    explicit ListCursor(std::vector<ObjectRef> items) : m_items(std::move(items)) {}

protected:
    size_t elementCount() const override { return m_items.size(); }
    QVariant element(size_t index) override { return objectVariant(m_items[index]); }

private:
    std::vector<ObjectRef> m_items;
};

// A fixed collection: project abstracts, filters, activity codes, an
// activity's code values. Its cursors walk a snapshot of the elements.
class ListCollection : public SimObject {
public:
    explicit ListCollection(std::vector<ObjectRef> items) : m_items(std::move(items)) {}
    QString typeName() const override { return QStringLiteral("Collection"); }

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        expectArgs(args, 0, 0);
        if (is(member, QLatin1String("Count")))
            return int(m_items.size());
        if (is(member, QLatin1String("NewCursor")))
            return objectVariant(std::make_shared<ListCursor>(m_items));
        unknownName();
    }

private:
    std::vector<ObjectRef> m_items;
};

// An object whose members are read-only texts.
class TextRecord : public SimObject {
public:
    TextRecord(QString kind, std::vector<std::pair<QLatin1String, QVariant>> fields)
        : m_kind(std::move(kind)), m_fields(std::move(fields)) {}
    QString typeName() const override { return m_kind; }

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        for (const auto& [name, value] : m_fields) {
            if (is(member, name)) {
                expectArgs(args, 0, 0);
                return value;
            }
        }
        unknownName();
    }

private:
    QString m_kind;
    std::vector<std::pair<QLatin1String, QVariant>> m_fields;
};

// ------------------------------------------------------------ projects

struct ProjectState {
    GroupHeader header;
    QString subproject;   // empty: the whole group
    std::vector<std::shared_ptr<DataFile>> files;
    std::vector<int> offsets;   // first activity index of each file
    int total = 0;
    // Activities selected by the applied filter; null: all of them.
    std::shared_ptr<const std::vector<int>> selection;
    bool closed = false;

    int count() const { return selection ? int(selection->size()) : total; }

    std::pair<DataFile*, int> locate(int index) const
    {
        size_t f = files.size() - 1;
        while (offsets[f] > index)
            --f;
        return {files[f].get(), index - offsets[f]};
    }

    void checkOpen() const
    {
        if (closed)
            raise(QStringLiteral("The project %1 is closed.").arg(header.group));
    }

    void compact()
    {
        for (auto& file : files)
            file->compact();
    }
};

class LogObject : public SimObject {
public:
    LogObject(double sequence, QString text) : sequence(sequence), text(std::move(text)) {}
    QString typeName() const override { return QStringLiteral("Log"); }

    // A project file may hold any number, also one that is not whole; it is
    // delivered and stored back as it is.
    double sequence = 0;   // 0: not set yet
    bool wholeSequence() const { return std::floor(sequence) == sequence && std::abs(sequence) < 1e9; }
    QByteArray sequenceText() const
    {
        return wholeSequence() ? QByteArray::number(qint64(sequence)) : QByteArray::number(sequence, 'g', 17);
    }
    QString text;
    bool attached = false;

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        expectArgs(args, 0, 0);
        if (is(member, QLatin1String("SequenceNumber")))
            return wholeSequence() ? QVariant(int(sequence)) : QVariant(sequence);
        if (is(member, QLatin1String("Text")))
            return text;
        unknownName();
    }
    void assign(const QString& member, const QVariant& value) override
    {
        if (is(member, QLatin1String("SequenceNumber"))) {
            const int n = intValue(value);
            if (n < 1 || n > 99)
                raise(QStringLiteral("Log sequence number %1 is out of range 1 to 99.").arg(n));
            sequence = n;
        } else if (is(member, QLatin1String("Text"))) {
            text = textValue(value);
        } else {
            SimObject::assign(member, value);
        }
    }
};

struct LogList {
    std::vector<std::shared_ptr<LogObject>> items;
};

class ActivityLogsObject : public SimObject {
public:
    explicit ActivityLogsObject(std::shared_ptr<LogList> logs) : m_logs(std::move(logs)) {}
    QString typeName() const override { return QStringLiteral("ActivityLogs"); }

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        if (is(member, QLatin1String("Count"))) {
            expectArgs(args, 0, 0);
            return int(m_logs->items.size());
        }
        if (is(member, QLatin1String("NewCursor"))) {
            expectArgs(args, 0, 0);
            // The cursor walks the logs as they are now, so removing the log
            // it yielded last does not disturb the walk.
            return objectVariant(std::make_shared<ListCursor>(
                std::vector<ObjectRef>(m_logs->items.begin(), m_logs->items.end())));
        }
        if (is(member, QLatin1String("NewItem"))) {
            expectArgs(args, 0, 0);
            return objectVariant(std::make_shared<LogObject>(0, QString()));
        }
        if (is(member, QLatin1String("Add"))) {
            expectArgs(args, 1, 1);
            auto log = objectArg<LogObject>(args, 0);
            if (log->attached)
                raise(QStringLiteral("The log is already attached to an activity."));
            if (log->sequence == 0)
                raise(QStringLiteral("The log has no sequence number."));
            log->attached = true;
            m_logs->items.push_back(std::move(log));
            return QVariant();
        }
        if (is(member, QLatin1String("Remove"))) {
            expectArgs(args, 1, 1);
            auto log = objectArg<LogObject>(args, 0);
            auto& items = m_logs->items;
            const auto it = std::find(items.begin(), items.end(), log);
            if (it == items.end())
                raise(QStringLiteral("The log is not a log of this activity."));
            (*it)->attached = false;
            items.erase(it);
            return QVariant();
        }
        unknownName();
    }

private:
    std::shared_ptr<LogList> m_logs;
};

class ActivityObject : public SimObject {
public:
    ActivityObject(std::shared_ptr<ProjectState> project, int index, QJsonObject data)
        : project(std::move(project)), index(index), data(std::move(data)) {}
    QString typeName() const override { return QStringLiteral("Activity"); }

    std::shared_ptr<ProjectState> project;
    int index;
    QJsonObject data;
    std::optional<QString> newDescription;
    std::shared_ptr<LogList> logs;   // loaded on first use

    // The activity as it is to be stored: one JSON line. The logs are
    // written directly rather than through a JSON document; an Update of
    // an activity with many logs is the server's most frequent write.
    QByteArray committedLine(QJsonObject& stored) const
    {
        stored = data;
        if (newDescription)
            stored.insert(QLatin1String("Description"), *newDescription);
        if (!logs)
            return QJsonDocument(stored).toJson(QJsonDocument::Compact);
        stored.remove(QLatin1String("logs"));
        QByteArray line = QJsonDocument(stored).toJson(QJsonDocument::Compact);
        line.chop(1);   // the closing brace
        line.reserve(line.size() + 64 * qsizetype(logs->items.size()) + 16);
        if (line.size() > 1)
            line.append(',');
        line.append("\"logs\":[");
        bool first = true;
        for (const auto& log : logs->items) {
            if (!first)
                line.append(',');
            first = false;
            line.append('[').append(log->sequenceText()).append(',');
            appendJsonString(line, log->text);
            line.append(']');
        }
        line.append("]}");
        return line;
    }

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        expectArgs(args, 0, 0);
        if (newDescription && is(member, QLatin1String("Description")))
            return *newDescription;
        const int field = activityFieldIndex(member);
        if (field >= 0) {
            const ActivityField& def = activityFields()[size_t(field)];
            return typedValue(data.value(QLatin1String(def.name)), def.type);
        }
        if (is(member, QLatin1String("ActivityCodes"))) {
            const QJsonObject values = data.value(QLatin1String("codes")).toObject();
            std::vector<ObjectRef> items;
            for (const CodeDef& code : project->header.codes) {
                items.push_back(std::make_shared<TextRecord>(
                    QStringLiteral("ActivityCodeValue"),
                    std::vector<std::pair<QLatin1String, QVariant>>{
                        {QLatin1String("Name"), code.name},
                        {QLatin1String("Value"), values.value(code.name).toString()}}));
            }
            return objectVariant(std::make_shared<ListCollection>(std::move(items)));
        }
        if (is(member, QLatin1String("ActivityLogs"))) {
            if (!logs) {
                logs = std::make_shared<LogList>();
                for (const QJsonValue& v : data.value(QLatin1String("logs")).toArray()) {
                    const QJsonArray pair = v.toArray();
                    auto log = std::make_shared<LogObject>(pair.at(0).toDouble(), pair.at(1).toString());
                    log->attached = true;
                    logs->items.push_back(std::move(log));
                }
            }
            return objectVariant(std::make_shared<ActivityLogsObject>(logs));
        }
        unknownName();
    }
    void assign(const QString& member, const QVariant& value) override
    {
        if (is(member, QLatin1String("Description")))
            newDescription = textValue(value);
        else
            SimObject::assign(member, value);
    }
};

class ActivitiesCursor : public IndexCursor {
public:
    ActivitiesCursor(std::shared_ptr<ProjectState> project, int limit)
        : m_project(std::move(project)), m_selection(m_project->selection), m_limit(std::max(limit, 0)) {}

protected:
    size_t elementCount() const override { return size_t(m_limit); }
    QVariant element(size_t position) override
    {
        const int index = m_selection ? (*m_selection)[position] : int(position);
        const auto [file, line] = m_project->locate(index);
        return objectVariant(std::make_shared<ActivityObject>(m_project, index, file->activity(line)));
    }

private:
    std::shared_ptr<ProjectState> m_project;
    std::shared_ptr<const std::vector<int>> m_selection;
    int m_limit;
};

class ActivitiesObject : public SimObject {
public:
    explicit ActivitiesObject(std::shared_ptr<ProjectState> project) : m_project(std::move(project)) {}
    QString typeName() const override { return QStringLiteral("Activities"); }

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        m_project->checkOpen();
        if (is(member, QLatin1String("Count"))) {
            expectArgs(args, 0, 0);
            return m_project->count();
        }
        if (is(member, QLatin1String("NewCursor"))) {
            expectArgs(args, 0, 0);
            const int limit = std::max(0, m_project->count() - control().activitiesCursorShortBy);
            return objectVariant(std::make_shared<ActivitiesCursor>(m_project, limit));
        }
        if (is(member, QLatin1String("Update"))) {
            expectArgs(args, 1, 1);
            auto activity = objectArg<ActivityObject>(args, 0);
            if (activity->project != m_project)
                raise(QStringLiteral("The activity does not belong to this project."));
            QJsonObject stored;
            QByteArray json = activity->committedLine(stored);
            const auto [file, line] = m_project->locate(activity->index);
            file->commit(line, std::move(json), control().settings.syncEachUpdate);
            activity->data = std::move(stored);
            activity->newDescription.reset();
            return QVariant();
        }
        unknownName();
    }

private:
    std::shared_ptr<ProjectState> m_project;
};

class ProjectObject : public SimObject {
public:
    explicit ProjectObject(std::shared_ptr<ProjectState> state) : state(std::move(state)) {}
    QString typeName() const override { return QStringLiteral("Project"); }

    std::shared_ptr<ProjectState> state;

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        state->checkOpen();
        if (is(member, QLatin1String("Activities"))) {
            expectArgs(args, 0, 0);
            return objectVariant(std::make_shared<ActivitiesObject>(state));
        }
        if (is(member, QLatin1String("ActivityCodes"))) {
            expectArgs(args, 0, 0);
            std::vector<ObjectRef> items;
            for (const CodeDef& code : state->header.codes)
                items.push_back(std::make_shared<TextRecord>(
                    QStringLiteral("ActivityCode"),
                    std::vector<std::pair<QLatin1String, QVariant>>{
                        {QLatin1String("Name"), code.name}, {QLatin1String("Title"), code.title}}));
            return objectVariant(std::make_shared<ListCollection>(std::move(items)));
        }
        if (is(member, QLatin1String("Filters"))) {
            expectArgs(args, 0, 0);
            std::vector<ObjectRef> items;
            for (const FilterDef& filter : state->header.filters)
                items.push_back(std::make_shared<TextRecord>(
                    QStringLiteral("Filter"),
                    std::vector<std::pair<QLatin1String, QVariant>>{
                        {QLatin1String("ID"), filter.id}, {QLatin1String("Title"), filter.title}}));
            return objectVariant(std::make_shared<ListCollection>(std::move(items)));
        }
        if (is(member, QLatin1String("ApplyFilter"))) {
            expectArgs(args, 2, 2);
            applyFilter(textArg(args, 0), intArg(args, 1));
            return QVariant();
        }
        unknownName();
    }

private:
    // Mode 1 applies the filter, mode 0 removes any filter. A filter is
    // named by its ID; IDs are compared on their first two characters,
    // blank-padded, so "X " names the filter "X".
    void applyFilter(const QString& id, int mode)
    {
        if (mode == 0) {
            state->selection.reset();
            return;
        }
        if (mode != 1)
            raise(QStringLiteral("Invalid filter mode %1.").arg(mode));
        auto key = [](const QString& s) { return s.left(2).leftJustified(2, QLatin1Char(' ')); };
        const FilterDef* found = nullptr;
        for (const FilterDef& filter : state->header.filters) {
            if (key(filter.id).compare(key(id), Qt::CaseInsensitive) == 0) {
                found = &filter;
                break;
            }
        }
        if (!found)
            raise(QStringLiteral("Filter %1 does not exist.").arg(id.trimmed()));
        auto selection = std::make_shared<std::vector<int>>();
        for (int i = 0; i < state->total; ++i) {
            const auto [file, line] = state->locate(i);
            if (filterMatches(*found, file->activity(line)))
                selection->push_back(i);
        }
        state->selection = std::move(selection);
    }
};

// ------------------------------------------------------------ session

class SessionObject : public SimObject {
public:
    SessionObject()
    {
        const Settings& s = control().settings;
        m_path = s.projectsFolder;
        if (s.hasCurrentUser)
            m_user = s.currentUser;
    }
    QString typeName() const override { return QStringLiteral("Session"); }

protected:
    QVariant call(const QString& member, const QVariantList& args) override
    {
        if (is(member, QLatin1String("CurrentUser"))) {
            expectArgs(args, 0, 0);
            if (m_user)
                return *m_user;
            return control().settings.noUserAsNullObject ? nothing() : QVariant();
        }
        if (is(member, QLatin1String("Login"))) {
            expectArgs(args, 2, 3);
            login(textArg(args, 0), textArg(args, 1), args.size() > 2 && boolArg(args, 2));
            return QVariant();
        }
        if (is(member, QLatin1String("Logout"))) {
            expectArgs(args, 0, 0);
            if (!control().logoutFailure.isEmpty())
                raise(control().logoutFailure);
            m_user.reset();
            forEachProject([](ProjectState& p) { p.compact(); });
            return QVariant();
        }
        if (is(member, QLatin1String("CurrentProjectPath"))) {
            expectArgs(args, 0, 0);
            return m_path;
        }
        if (is(member, QLatin1String("ProjectAbstracts"))) {
            expectArgs(args, 0, 0);
            return projectAbstracts();
        }
        if (is(member, QLatin1String("OpenProject"))) {
            expectArgs(args, 1, 2);
            return openProject(textArg(args, 0), args.size() > 1 ? textArg(args, 1) : QString());
        }
        if (is(member, QLatin1String("CloseProject"))) {
            expectArgs(args, 1, 1);
            auto project = objectArg<ProjectObject>(args, 0);
            if (!project->state->closed) {
                project->state->closed = true;
                project->state->compact();
            }
            return QVariant();
        }
        unknownName();
    }
    void assign(const QString& member, const QVariant& value) override
    {
        if (is(member, QLatin1String("CurrentProjectPath")))
            m_path = textValue(value);
        else
            SimObject::assign(member, value);
    }

private:
    // Login's flag forces the sign-in: with false, it is refused when the
    // user is signed in at another workstation or another user holds this
    // session; with true, the user takes over in both cases.
    void login(const QString& user, const QString& password, bool force)
    {
        Control& c = control();
        if (!force && c.firstFalseLoginPending()) {
            c.consumeFalseLogin();
            raise(c.firstFalseLoginFailure);
        }
        if (const auto users = usersListFor(c.settings.projectsFolder, c.settings.usersFile)) {
            const UserEntry* entry = nullptr;
            for (const UserEntry& u : *users) {
                if (u.name == user) {
                    entry = &u;
                    break;
                }
            }
            if (!entry || entry->password != password)
                raise(QStringLiteral("Invalid user name or password."));
            if (entry->signedInElsewhere && !force)
                raise(QStringLiteral("User %1 is already signed in at another workstation.").arg(user));
        }
        if (m_user && *m_user != user && !force)
            raise(QStringLiteral("User %1 is already signed in to this session.").arg(*m_user));
        m_user = user;
    }

    void requireUser() const
    {
        if (!m_user && usersListFor(control().settings.projectsFolder, control().settings.usersFile))
            raise(QStringLiteral("No user is signed in to P3. Log in before listing or opening projects."));
    }

    QVariant projectAbstracts()
    {
        if (!QFileInfo(m_path).isDir())
            raise(QStringLiteral("Project directory \"%1\" does not exist.").arg(m_path));
        requireUser();
        std::vector<ObjectRef> items;
        auto abstract = [](const QString& group, const QString& name, const QString& title) {
            return std::make_shared<TextRecord>(
                QStringLiteral("ProjectAbstract"),
                std::vector<std::pair<QLatin1String, QVariant>>{
                    {QLatin1String("ProjectGroupName"), group},
                    {QLatin1String("ProjectName"), name},
                    {QLatin1String("Title"), title}});
        };
        for (const QString& file : projectHeaderFiles(m_path)) {
            const GroupHeader header = readGroupHeader(file);
            items.push_back(abstract(header.group, header.group, header.title));
            for (const SubprojectDef& sub : header.subprojects)
                items.push_back(abstract(header.group, sub.name, sub.title));
        }
        return objectVariant(std::make_shared<ListCollection>(std::move(items)));
    }

    QVariant openProject(const QString& group, const QString& subproject)
    {
        requireUser();
        if (control().openProjectReturnsEmpty)
            return QVariant();
        std::optional<GroupHeader> header;
        for (const QString& file : projectHeaderFiles(m_path)) {
            const QString name = QFileInfo(file).fileName();
            if (name.size() - 6 == group.size() && name.startsWith(group, Qt::CaseInsensitive)) {
                header = readGroupHeader(file);
                break;
            }
        }
        if (group.isEmpty() || !header)
            raise(QStringLiteral("Project %1 not found in \"%2\".").arg(group, m_path));

        auto state = std::make_shared<ProjectState>();
        state->header = *header;
        QStringList files;
        if (!subproject.isEmpty() && subproject.compare(header->group, Qt::CaseInsensitive) != 0) {
            const auto it = std::find_if(header->subprojects.begin(), header->subprojects.end(),
                                         [&](const SubprojectDef& s) {
                                             return s.name.compare(subproject, Qt::CaseInsensitive) == 0;
                                         });
            if (it == header->subprojects.end())
                raise(QStringLiteral("Subproject %1 not found in project group %2.").arg(subproject, header->group));
            state->subproject = it->name;
            files << it->activitiesFile;
        } else if (header->subprojects.empty()) {
            files << header->activitiesFile;
        } else {
            for (const SubprojectDef& s : header->subprojects)
                files << s.activitiesFile;
        }
        for (const QString& f : files) {
            state->offsets.push_back(state->total);
            state->files.push_back(DataFile::open(f));
            state->total += state->files.back()->size();
        }
        m_projects.push_back(state);
        return objectVariant(std::make_shared<ProjectObject>(state));
    }

    template <class F>
    void forEachProject(F&& f)
    {
        for (auto& weak : m_projects) {
            if (auto p = weak.lock())
                f(*p);
        }
    }

    std::optional<QString> m_user;
    QString m_path;
    std::vector<std::weak_ptr<ProjectState>> m_projects;
};

} // namespace

ObjectRef createSession()
{
    if (control().settings.unavailable)
        raise(QStringLiteral("Invalid class string"));
    return std::make_shared<SessionObject>();
}

void flushAll()
{
    DataFile::compactAll();
}

} // namespace orvane::p3sim
