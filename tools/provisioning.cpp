#include "provisioning.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dbengine.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <cmath>
#include <cstdio>

namespace
{

const char *const kSchema[] = {
    "CREATE TABLE 系统用户表 (Czy TEXT, pass TEXT, auto INTEGER, skin INTEGER)",
    "INSERT INTO 系统用户表 (Czy, pass, auto, skin) VALUES ('admin', '', 0, 1)",
    "CREATE TABLE 企业日记 (bookid INTEGER PRIMARY KEY AUTOINCREMENT, 标题 TEXT, 内容 TEXT,"
    " 分类 INTEGER, 处理 INTEGER DEFAULT 0,"
    " 时间 TEXT DEFAULT (datetime('now','localtime')))",
    "CREATE TABLE 分类 (id INTEGER PRIMARY KEY AUTOINCREMENT, bh INTEGER, mc TEXT)",
};

bool createDatabase(const QString &path)
{
    try {
        sqlite3 *db = varnel::db::openKeyed(path, true);
        bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
        for (const char *statement : kSchema)
            ok = ok && sqlite3_exec(db, statement, nullptr, nullptr, nullptr) == SQLITE_OK;
        ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (ok)
            varnel::db::ensureIndexes(db);
        if (!ok)
            std::fprintf(stderr, "provision: %s\n", sqlite3_errmsg(db));
        sqlite3_close_v2(db);
        return ok;
    } catch (const varnel::DbError &e) {
        std::fprintf(stderr, "provision: %s\n", e.what());
        return false;
    }
}

struct Theme {
    QColor top, bottom, accent, strip;
    int pattern; // 0 waves, 1 rays, 2 grid, 3 stars, 4 camouflage
};

const Theme kThemes[5] = {
    {QColor(0xFF, 0xF6, 0xD8), QColor(0xF0, 0xD3, 0x8A), QColor(0xC8, 0x96, 0x2E),
     QColor(0xB9, 0x84, 0x1F), 1},
    {QColor(0xE6, 0xF6, 0xFF), QColor(0x9F, 0xD4, 0xF2), QColor(0x3E, 0x9B, 0xD8),
     QColor(0x1E, 0x78, 0xB8), 0},
    {QColor(0xF2, 0xF6, 0xFC), QColor(0xC3, 0xD6, 0xEE), QColor(0x5A, 0x82, 0xB8),
     QColor(0x2B, 0x4F, 0x86), 2},
    {QColor(0x2A, 0x2F, 0x55), QColor(0x0B, 0x0E, 0x22), QColor(0xA8, 0xB8, 0xFF),
     QColor(0x05, 0x07, 0x14), 3},
    {QColor(0xE4, 0xEE, 0xD8), QColor(0xB5, 0xC8, 0x9C), QColor(0x6B, 0x84, 0x4C),
     QColor(0x3F, 0x55, 0x2A), 4},
};

void drawPattern(QPainter &p, const Theme &t, const QSize &size)
{
    QRandomGenerator rng(quint32(t.pattern * 7919 + 17));
    QColor c = t.accent;
    c.setAlpha(46);
    p.setPen(QPen(c, 2));
    p.setBrush(Qt::NoBrush);
    switch (t.pattern) {
    case 0:
        for (int y = 60; y < size.height(); y += 28) {
            QPainterPath wave;
            wave.moveTo(0, y);
            for (int x = 0; x <= size.width(); x += 40) {
                wave.quadTo(x + 10, y - 10, x + 20, y);
                wave.quadTo(x + 30, y + 10, x + 40, y);
            }
            p.drawPath(wave);
        }
        break;
    case 1:
        for (int a = 0; a < 360; a += 12)
            p.drawLine(QPointF(size.width(), 0),
                       QPointF(size.width() - 900 * std::cos(a * 3.14159 / 180),
                               900 * std::sin(a * 3.14159 / 180)));
        break;
    case 2:
        for (int x = 0; x < size.width(); x += 24)
            p.drawLine(x, 24, x, size.height());
        for (int y = 24; y < size.height(); y += 24)
            p.drawLine(0, y, size.width(), y);
        break;
    case 3:
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 220; ++i) {
            QColor star = t.accent;
            star.setAlpha(60 + rng.bounded(160));
            p.setBrush(star);
            const qreal r = 0.5 + rng.bounded(2.0);
            p.drawEllipse(QPointF(rng.bounded(size.width()), rng.bounded(size.height())), r, r);
        }
        break;
    default:
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 70; ++i) {
            QColor blob = i % 2 ? t.accent : t.strip;
            blob.setAlpha(40);
            p.setBrush(blob);
            p.drawEllipse(QPointF(rng.bounded(size.width()), rng.bounded(size.height())),
                          20 + rng.bounded(40), 12 + rng.bounded(25));
        }
        break;
    }
}

QImage skinPicture(const Theme &t)
{
    const QSize size(455, 418); // the main window's client area
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(0, 0, 0, size.height());
    body.setColorAt(0, t.top);
    body.setColorAt(1, t.bottom);
    p.fillRect(image.rect(), body);
    drawPattern(p, t, size);
    QLinearGradient strip(0, 0, 0, 24);
    strip.setColorAt(0, t.strip.lighter(130));
    strip.setColorAt(1, t.strip);
    p.fillRect(QRect(0, 0, size.width(), 24), strip);
    p.setPen(QPen(t.strip.darker(130), 1));
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    return image;
}

bool writeSkins(const QString &dataFolder)
{
    bool ok = true;
    for (int n = 1; n <= 5; ++n) {
        const QString path = dataFolder + QStringLiteral("/sk%1.tandrel").arg(n);
        if (QFileInfo::exists(path))
            continue;
        ok = skinPicture(kThemes[n - 1]).save(path, "PNG") && ok;
    }
    return ok;
}

} // namespace

bool provisionProgramFolder(const QString &folder)
{
    const QString previous = varnel::programFolder();
    varnel::setProgramFolder(QDir(folder).absolutePath());
    bool ok = QDir().mkpath(varnel::dataFolder());
    if (!ok)
        std::fprintf(stderr, "provision: cannot create %s\n", qPrintable(varnel::dataFolder()));
    if (ok && !QFileInfo::exists(varnel::databasePath()))
        ok = createDatabase(varnel::databasePath());
    ok = ok && writeSkins(varnel::dataFolder());
    varnel::setProgramFolder(previous);
    return ok;
}
