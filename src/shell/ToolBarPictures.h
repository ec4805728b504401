#pragma once
// The ten 32 x 32 tool bar pictures, drawn in code so they stay sharp and
// consistent: one palette, one stroke width, a sheet/log motif throughout.

#include <QPixmap>
#include <QVector>

namespace orvane::shell {

// In the order of the picture list: 0 open project, 1 log to log,
// 2 description and log, 3 data to log, 4 save to P3, 5 export to a
// workbook, 6 multi-line edit, 7 customize fields, 8 save, 9 logs from a
// workbook.
QVector<QPixmap> toolBarPictures();

} // namespace orvane::shell
