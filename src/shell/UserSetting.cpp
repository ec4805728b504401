#include "shell/UserSetting.h"

#include <QSettings>

namespace orvane::shell {

namespace {
const QString kKey = QStringLiteral("P3User");
#define ORVANE_SETTINGS_KEY(name) \
    QSettings name(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Marbolt"), QStringLiteral("Orvane"))
} // namespace

QString readP3User()
{
    ORVANE_SETTINGS_KEY(settings);
    if (settings.status() != QSettings::NoError)
        return QString();
    const QVariant value = settings.value(kKey);
    // Only a text value counts; anything else is ignored and overwritten at exit.
    if (value.typeId() != QMetaType::QString)
        return QString();
    QString text = value.toString();
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

void writeP3User(const QString& user)
{
    ORVANE_SETTINGS_KEY(settings);
    settings.setValue(kKey, user);
    settings.sync();
}

} // namespace orvane::shell
