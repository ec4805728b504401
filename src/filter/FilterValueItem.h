#pragma once
// An entry of a column's value drop-down: "(All)", "(Custom...)", "(Blanks)",
// "(NonBlanks)" or one of the column's values with the text the grid shows
// for it.

#include <QString>
#include <QVariant>

namespace orvane::filter {

struct TcxFilterValueItem {
    enum Kind : quint8 { fviAll = 0, fviCustom = 1, fviBlanks = 2, fviNonBlanks = 3, fviUser = 4, fviValue = 5 };
    quint8 kind = fviValue;
    QVariant value;
    QString displayText;
};

} // namespace orvane::filter
