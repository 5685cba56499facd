#include "pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace pictures {
namespace {

const QColor kInk(40, 60, 90);
const QColor kPaper(250, 250, 246);
const QColor kAccent(200, 40, 40);
const QColor kTeal(40, 140, 130);

// A sheet of paper with a folded corner inside a size-by-size square.
void drawSheet(QPainter& p, QRectF r) {
    const qreal fold = r.width() * 0.3;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(QPen(kInk, 1.0));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    QPolygonF corner;
    corner << QPointF(r.right() - fold, r.top()) << QPointF(r.right() - fold, r.top() + fold)
           << QPointF(r.right(), r.top() + fold);
    p.setBrush(QColor(210, 214, 220));
    p.drawPolygon(corner);
}

void drawOpen(QPainter& p, qreal s) {
    // A folder with its flap open.
    p.setPen(QPen(QColor(120, 90, 20), 1.0));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(QRectF(s * 0.08, s * 0.3, s * 0.75, s * 0.55));
    p.drawRect(QRectF(s * 0.08, s * 0.2, s * 0.3, s * 0.12));
    QPolygonF flap;
    flap << QPointF(s * 0.25, s * 0.45) << QPointF(s * 0.95, s * 0.45) << QPointF(s * 0.8, s * 0.85)
         << QPointF(s * 0.08, s * 0.85);
    p.setBrush(QColor(250, 220, 130));
    p.drawPolygon(flap);
}

void drawClear(QPainter& p, qreal s) {
    // A list with a red cross over it.
    drawSheet(p, QRectF(s * 0.12, s * 0.08, s * 0.62, s * 0.82));
    p.setPen(QPen(kInk, 1.0));
    for (int i = 0; i < 4; ++i) {
        const qreal y = s * (0.3 + 0.13 * i);
        p.drawLine(QPointF(s * 0.22, y), QPointF(s * 0.6, y));
    }
    p.setPen(QPen(kAccent, s * 0.12, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.88, s * 0.88));
    p.drawLine(QPointF(s * 0.88, s * 0.5), QPointF(s * 0.5, s * 0.88));
}

void drawCreatePdf(QPainter& p, qreal s) {
    // A page with a red band marked as a document.
    drawSheet(p, QRectF(s * 0.15, s * 0.05, s * 0.7, s * 0.9));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRect(QRectF(s * 0.05, s * 0.5, s * 0.7, s * 0.3));
    QFont f;
    f.setPixelSize(qMax(5, static_cast<int>(s * 0.26)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(s * 0.05, s * 0.5, s * 0.7, s * 0.3), Qt::AlignCenter, QStringLiteral("PDF"));
}

void drawAbout(QPainter& p, qreal s) {
    // A blue disc with a white "i".
    p.setPen(QPen(QColor(20, 60, 140), 1.0));
    p.setBrush(QColor(50, 110, 200));
    p.drawEllipse(QRectF(s * 0.08, s * 0.08, s * 0.84, s * 0.84));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(s * 0.44, s * 0.22, s * 0.12, s * 0.12));
    p.drawRect(QRectF(s * 0.44, s * 0.4, s * 0.12, s * 0.36));
}

// The program's mark: two stacked pages with a "Z".
void drawMark(QPainter& p, QRectF r) {
    const qreal s = r.width();
    drawSheet(p, QRectF(r.left() + s * 0.22, r.top() + s * 0.04, s * 0.62, s * 0.78));
    drawSheet(p, QRectF(r.left() + s * 0.1, r.top() + s * 0.16, s * 0.62, s * 0.78));
    QPainterPath z;
    z.moveTo(r.left() + s * 0.22, r.top() + s * 0.34);
    z.lineTo(r.left() + s * 0.6, r.top() + s * 0.34);
    z.lineTo(r.left() + s * 0.26, r.top() + s * 0.78);
    z.lineTo(r.left() + s * 0.62, r.top() + s * 0.78);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kTeal, s * 0.1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(z);
}

QPixmap drawn(int size, Tool tool) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const auto s = static_cast<qreal>(size);
    switch (tool) {
    case Tool::Open:
        drawOpen(p, s);
        break;
    case Tool::Clear:
        drawClear(p, s);
        break;
    case Tool::CreatePdf:
        drawCreatePdf(p, s);
        break;
    case Tool::About:
        drawAbout(p, s);
        break;
    }
    return pm;
}

} // namespace

QIcon toolIcon(Tool tool) {
    QIcon fallback;
    for (const int size : {16, 22, 32}) {
        fallback.addPixmap(drawn(size, tool));
    }
    const char* themeName = "";
    switch (tool) {
    case Tool::Open:
        themeName = "document-open";
        break;
    case Tool::Clear:
        themeName = "edit-clear";
        break;
    case Tool::CreatePdf:
        themeName = "document-save-as";
        break;
    case Tool::About:
        themeName = "help-about";
        break;
    }
    return QIcon::fromTheme(QString::fromLatin1(themeName), fallback);
}

QPixmap logo() {
    QPixmap pm(200, 59);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 200, 0);
    band.setColorAt(0, QColor(225, 242, 240));
    band.setColorAt(1, QColor(255, 255, 255));
    p.setPen(QPen(kTeal, 1.0));
    p.setBrush(band);
    p.drawRoundedRect(QRectF(0.5, 0.5, 199, 58), 8, 8);
    drawMark(p, QRectF(6, 4, 50, 50));
    QFont f;
    f.setPixelSize(24);
    f.setBold(true);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRectF(62, 4, 134, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zentro"));
    f.setPixelSize(14);
    f.setBold(false);
    p.setFont(f);
    p.setPen(kAccent);
    p.drawText(QRectF(64, 34, 132, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("scans to PDF"));
    return pm;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        drawMark(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace pictures
