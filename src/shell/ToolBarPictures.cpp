#include "shell/ToolBarPictures.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace orvane::shell {

namespace {

const QColor kInk(0x33, 0x3d, 0x4a);
const QColor kPaper(0xfb, 0xfb, 0xf7);
const QColor kBlue(0x2f, 0x6f, 0xc4);
const QColor kGreen(0x2e, 0x8b, 0x4f);
const QColor kAmber(0xe8, 0xa2, 0x2b);
const QColor kRed(0xc4, 0x43, 0x3a);

QPixmap canvas(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return pixmap;
}

// A sheet of paper with ruled log lines.
void sheet(QPainter& p, const QRectF& r, int lines = 4)
{
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 1.5, 1.5);
    p.setPen(QPen(kBlue.lighter(130), 1.2));
    const qreal step = (r.height() - 6) / (lines + 1);
    for (int i = 1; i <= lines; ++i) {
        const qreal y = r.top() + 3 + i * step;
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
    }
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& color)
{
    p.setPen(QPen(color, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QLineF line(to, from);
    QLineF wing1 = line;
    wing1.setLength(6);
    wing1.setAngle(line.angle() + 35);
    QLineF wing2 = line;
    wing2.setLength(6);
    wing2.setAngle(line.angle() - 35);
    p.drawLine(wing1);
    p.drawLine(wing2);
}

void label(QPainter& p, const QRectF& r, const QString& text, const QColor& color)
{
    QFont f = p.font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(color);
    p.drawText(r, Qt::AlignCenter, text);
}

void floppy(QPainter& p, const QRectF& r, const QColor& body)
{
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(body);
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - 5, r.top());
    path.lineTo(r.right(), r.top() + 5);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.drawPath(path);
    p.setBrush(kPaper);
    p.drawRect(QRectF(r.left() + 4, r.top() + r.height() * 0.55, r.width() - 8, r.height() * 0.45 - 2));
    p.setBrush(body.lighter(160));
    p.drawRect(QRectF(r.left() + 6, r.top() + 1, r.width() - 14, r.height() * 0.32));
}

} // namespace

QVector<QPixmap> toolBarPictures()
{
    QVector<QPixmap> pictures;
    // 0: open project: a folder with a sheet coming out of it.
    pictures << canvas([](QPainter& p) {
        sheet(p, QRectF(10, 3, 16, 18), 3);
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kAmber);
        QPainterPath folder;
        folder.moveTo(2, 12);
        folder.lineTo(10, 12);
        folder.lineTo(12, 14);
        folder.lineTo(29, 14);
        folder.lineTo(27, 29);
        folder.lineTo(4, 29);
        folder.closeSubpath();
        p.drawPath(folder);
    });
    // 1: log line to log line.
    pictures << canvas([](QPainter& p) {
        sheet(p, QRectF(2, 3, 13, 26), 5);
        sheet(p, QRectF(17, 3, 13, 26), 5);
        arrow(p, QPointF(6, 12), QPointF(26, 21), kGreen);
    });
    // 2: description and log, both ways.
    pictures << canvas([](QPainter& p) {
        sheet(p, QRectF(2, 3, 28, 10), 1);
        sheet(p, QRectF(2, 17, 28, 12), 2);
        arrow(p, QPointF(11, 11), QPointF(11, 22), kGreen);
        arrow(p, QPointF(21, 22), QPointF(21, 11), kBlue);
    });
    // 3: activity data to log: a table of cells pouring into a sheet.
    pictures << canvas([](QPainter& p) {
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kPaper);
        p.drawRect(QRectF(2, 3, 14, 14));
        p.drawLine(QPointF(9, 3), QPointF(9, 17));
        p.drawLine(QPointF(2, 10), QPointF(16, 10));
        p.fillRect(QRectF(2.6, 3.6, 5.8, 5.8), kAmber);
        sheet(p, QRectF(17, 14, 13, 16), 3);
        arrow(p, QPointF(12, 14), QPointF(21, 22), kGreen);
    });
    // 4: save to P3: a disk sending to the schedule (a bar chart).
    pictures << canvas([](QPainter& p) {
        floppy(p, QRectF(2, 12, 17, 17), kBlue);
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawRect(QRectF(20, 3, 10, 3));
        p.drawRect(QRectF(23, 8, 7, 3));
        p.drawRect(QRectF(21, 13, 9, 3));
        arrow(p, QPointF(12, 8), QPointF(19, 4), kGreen);
    });
    // 5: export to a workbook: a green sheet with a grid and an X.
    pictures << canvas([](QPainter& p) {
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kPaper);
        p.drawRect(QRectF(10, 3, 20, 26));
        p.setPen(QPen(kGreen.lighter(140), 1));
        for (int y = 9; y < 29; y += 5)
            p.drawLine(QPointF(10, y), QPointF(30, y));
        p.drawLine(QPointF(20, 3), QPointF(20, 29));
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kGreen);
        p.drawRoundedRect(QRectF(2, 9, 15, 15), 2, 2);
        label(p, QRectF(2, 9, 15, 15), QStringLiteral("X"), Qt::white);
    });
    // 6: multi-line edit: a sheet with a pencil.
    pictures << canvas([](QPainter& p) {
        sheet(p, QRectF(3, 3, 20, 26), 6);
        p.save();
        p.translate(22, 17);
        p.rotate(45);
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kAmber);
        p.drawRect(QRectF(-3, -11, 6, 16));
        p.setBrush(kRed);
        p.drawRect(QRectF(-3, -14, 6, 3));
        p.setBrush(kPaper);
        QPainterPath tip;
        tip.moveTo(-3, 5);
        tip.lineTo(3, 5);
        tip.lineTo(0, 10);
        tip.closeSubpath();
        p.drawPath(tip);
        p.restore();
    });
    // 7: customize fields: column headers with one being brought back.
    pictures << canvas([](QPainter& p) {
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kBlue.lighter(150));
        p.drawRect(QRectF(2, 4, 28, 7));
        p.drawLine(QPointF(11, 4), QPointF(11, 11));
        p.drawLine(QPointF(20, 4), QPointF(20, 11));
        p.setBrush(kPaper);
        p.drawRect(QRectF(2, 11, 28, 17));
        p.setBrush(kAmber);
        p.drawRoundedRect(QRectF(12, 17, 16, 8), 1.5, 1.5);
        arrow(p, QPointF(20, 17), QPointF(15.5, 11.5), kGreen);
    });
    // 8: save.
    pictures << canvas([](QPainter& p) { floppy(p, QRectF(4, 4, 24, 24), kBlue); });
    // 9: logs from a workbook: the green sheet handing its cells to a log sheet.
    pictures << canvas([](QPainter& p) {
        sheet(p, QRectF(14, 8, 16, 21), 4);
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(kGreen);
        p.drawRoundedRect(QRectF(2, 3, 15, 15), 2, 2);
        label(p, QRectF(2, 3, 15, 15), QStringLiteral("X"), Qt::white);
        arrow(p, QPointF(9, 20), QPointF(17, 27), kBlue);
    });
    return pictures;
}

} // namespace orvane::shell
