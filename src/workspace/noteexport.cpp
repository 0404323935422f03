#include "noteexport.h"

#include "appinfo.h"
#include "database.h"

#include <QSaveFile>

#include <limits>

namespace varnel
{

namespace
{

const QByteArray kEol = QByteArrayLiteral("\r\n");

// Every line of the file ends in CR LF, also the lines inside a note's body.
QByteArray withCrLf(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return out.toUtf8();
}

QByteArray noteBlock(const QString &title, const QString &time, const QString &body)
{
    QByteArray block;
    block += kEol;
    block += kEol;
    block += QString(27, QChar(0x2500)).toUtf8() + kEol;
    block += QStringLiteral("标题：").toUtf8() + withCrLf(title) + kEol;
    block += QStringLiteral("时间：").toUtf8() + shownTime(time).toUtf8() + kEol;
    block += QByteArray(54, '-') + kEol;
    block += withCrLf(body) + kEol;
    return block;
}

} // namespace

NoteExport::NoteExport(QString path, qint64 category) : path_(std::move(path)), category_(category)
{
}

bool NoteExport::write()
{
    count_ = 0;
    QSaveFile file(path_);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        error_ = file.errorString();
        return false;
    }
    file.write(QByteArrayLiteral(" ") + appTitle().toUtf8() + kEol);
    file.write(QByteArrayLiteral(" ") + siteUrl().toUtf8() + kEol);

    const QString filter = category_ != 0 ? QStringLiteral(" and 分类=?2") : QString();
    const QString sql =
        QStringLiteral("select bookid,标题,时间,内容 from 企业日记 where bookid>?1") + filter +
        QStringLiteral(" order by bookid limit %1").arg(kChunk);
    qint64 last = std::numeric_limits<qint64>::min();
    for (;;) {
        QVariantList params{last};
        if (category_ != 0)
            params.append(category_);
        OpenDb();
        try {
            DbRs->Open(sql, *DbConn, RsMode::Read, params);
        } catch (...) {
            CloseDb();
            file.cancelWriting();
            throw;
        }
        const int rows = DbRs->RecordCount();
        for (; !DbRs->Eof(); DbRs->MoveNext()) {
            last = DbRs->Field(0).toLongLong();
            file.write(noteBlock(DbRs->Field(1).toString(), DbRs->Field(2).toString(),
                                 DbRs->Field(3).toString()));
            ++count_;
        }
        CloseDb();
        if (rows < kChunk)
            break;
    }
    if (!file.commit()) {
        error_ = file.errorString();
        count_ = 0;
        return false;
    }
    return true;
}

} // namespace varnel
