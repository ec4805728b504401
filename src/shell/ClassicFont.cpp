#include "shell/ClassicFont.h"

#include <QApplication>
#include <QFont>

namespace orvane::shell {

void applyClassicFont()
{
    for (const QString& family : {QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma")})
        QFont::insertSubstitutions(family, {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                            QStringLiteral("DejaVu Sans Condensed")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    QApplication::setFont(font);
}

} // namespace orvane::shell
