#include "p3sim/Server.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <stdexcept>

namespace orvane::p3sim {

namespace {

bool envFlag(const char* name)
{
    const QString v = qEnvironmentVariable(name).trimmed().toLower();
    return v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes");
}

QString formatValue(const QVariant& v)
{
    if (!v.isValid())
        return QStringLiteral("Empty");
    const QMetaType t = v.metaType();
    if (t == QMetaType::fromType<std::nullptr_t>())
        return QStringLiteral("Null");
    if (t == QMetaType::fromType<p3link::ObjectRef>()) {
        const p3link::ObjectRef o = v.value<p3link::ObjectRef>();
        return o ? QLatin1Char('<') + o->typeName() + QLatin1Char('>') : QStringLiteral("Nothing");
    }
    if (t == QMetaType::fromType<bool>())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (t == QMetaType::fromType<QString>())
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    if (t == QMetaType::fromType<QDateTime>())
        return v.toDateTime().toString(Qt::ISODate);
    return v.toString();
}

bool memberMatches(const QString& pattern, const QString& object, const QString& member, bool isPut)
{
    QString p = pattern;
    if (p.endsWith(QLatin1Char('='))) {
        if (!isPut)
            return false;
        p.chop(1);
    } else if (isPut) {
        return false;
    }
    const qsizetype dot = p.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        if (p.left(dot).compare(object, Qt::CaseInsensitive) != 0)
            return false;
        p = p.mid(dot + 1);
    }
    return p.compare(member, Qt::CaseInsensitive) == 0;
}

} // namespace

Settings Settings::fromEnvironment()
{
    Settings s;
    s.projectsFolder = qEnvironmentVariable("P3SIM_PROJECTS");
    if (s.projectsFolder.isEmpty())
        s.projectsFolder = QDir::currentPath();
    s.usersFile = qEnvironmentVariable("P3SIM_USERS");
    s.hasCurrentUser = qEnvironmentVariableIsSet("P3SIM_CURRENT_USER");
    s.currentUser = qEnvironmentVariable("P3SIM_CURRENT_USER");
    s.noUserAsNullObject = qEnvironmentVariable("P3SIM_NO_USER").trimmed().toLower() == QLatin1String("null");
    s.unavailable = envFlag("P3SIM_UNAVAILABLE");
    s.syncEachUpdate = envFlag("P3SIM_SYNC");
    s.callLogFile = qEnvironmentVariable("P3SIM_CALL_LOG");
    return s;
}

QString CallRecord::toString() const
{
    if (isPut)
        return object + QLatin1Char('.') + member + QStringLiteral(" = ")
               + (args.isEmpty() ? QString() : formatValue(args.first()));
    QStringList parts;
    for (const QVariant& a : args)
        parts << formatValue(a);
    return object + QLatin1Char('.') + member + QLatin1Char('(') + parts.join(QStringLiteral(", "))
           + QLatin1Char(')');
}

void Control::failOn(const QString& member, int nth, const QString& message)
{
    m_rules.push_back({member, nth, message, 0});
}

void Control::addFaults(const QString& spec)
{
    const QStringList entries = spec.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& raw : entries) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const QString kind = entry.section(QLatin1Char(':'), 0, 0).trimmed().toLower();
        const QString rest = entry.section(QLatin1Char(':'), 1);
        if (kind == QLatin1String("fail")) {
            const QString member = rest.section(QLatin1Char(':'), 0, 0).trimmed();
            bool ok = false;
            const int nth = rest.section(QLatin1Char(':'), 1, 1).trimmed().toInt(&ok);
            const QString message = rest.section(QLatin1Char(':'), 2);
            if (member.isEmpty() || !ok || nth < 1 || message.isEmpty())
                throw std::invalid_argument("P3SIM_FAULTS: expected fail:MEMBER:N:MESSAGE, got " + entry.toStdString());
            failOn(member, nth, message);
        } else if (kind == QLatin1String("open-empty")) {
            openProjectReturnsEmpty = true;
        } else if (kind == QLatin1String("short-cursor")) {
            bool ok = false;
            const int by = rest.trimmed().toInt(&ok);
            if (!ok || by < 1)
                throw std::invalid_argument("P3SIM_FAULTS: expected short-cursor:K, got " + entry.toStdString());
            activitiesCursorShortBy = by;
        } else if (kind == QLatin1String("login-false-fails")) {
            firstFalseLoginFailure = rest.isEmpty() ? QStringLiteral("The P3 licence is in use; sign-in refused.") : rest;
            m_falseLoginUsed = false;
        } else if (kind == QLatin1String("logout-fails")) {
            logoutFailure = rest.isEmpty() ? QStringLiteral("Logout failed.") : rest;
        } else {
            throw std::invalid_argument("P3SIM_FAULTS: unknown entry " + entry.toStdString());
        }
    }
}

QStringList Control::callLines() const
{
    QStringList lines;
    for (const CallRecord& c : m_calls)
        lines << c.toString();
    return lines;
}

int Control::callCount(const QString& member) const
{
    int n = 0;
    for (const CallRecord& c : m_calls)
        n += memberMatches(member, c.object, c.member, c.isPut) ? 1 : 0;
    return n;
}

void Control::reset()
{
    settings = Settings::fromEnvironment();
    m_rules.clear();
    m_calls.clear();
    openProjectReturnsEmpty = false;
    activitiesCursorShortBy = 0;
    firstFalseLoginFailure.clear();
    logoutFailure.clear();
    m_falseLoginUsed = false;
    recordCalls = false;
    addFaults(qEnvironmentVariable("P3SIM_FAULTS"));
}

void Control::noteCall(const QString& object, const QString& member, const QVariantList& args, bool isPut)
{
    if (recordCalls || !settings.callLogFile.isEmpty()) {
        CallRecord record{object, member, args, isPut};
        if (!settings.callLogFile.isEmpty()) {
            QFile log(settings.callLogFile);
            if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
                log.write((record.toString() + QLatin1Char('\n')).toUtf8());
        }
        if (recordCalls)
            m_calls.push_back(std::move(record));
    }
    for (Rule& rule : m_rules) {
        if (memberMatches(rule.member, object, member, isPut) && ++rule.seen == rule.nth)
            throw AutomationError(rule.message);
    }
}

Control& control()
{
    static Control* instance = [] {
        auto* c = new Control;
        c->reset();
        return c;
    }();
    return *instance;
}

} // namespace orvane::p3sim
