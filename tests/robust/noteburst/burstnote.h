#pragma once

#include <QHash>
#include <QRandomGenerator>
#include <QString>

#include <iterator>

// The notes the burst writer saves: note number i of a burst tagged `tag`
// always has the same title, body and category, so a reader can tell whether
// a stored note is exactly what was saved.
struct BurstNote {
    QString title;
    QString body;
    qint64 category = 0;
};

inline BurstNote burstNote(const QString &tag, int i)
{
    QRandomGenerator rng(quint32(qHash(tag, 0)) ^ quint32(i * 2654435761u));
    static const char16_t pieces[][8] = {u"记事本",     u"note ", u"\n", u"密码123", u"'\"%_\\",
                                         u"\U0001F600", u"שלום",  u"\t", u"完成。"};
    BurstNote note;
    note.title = QStringLiteral("%1-%2").arg(tag).arg(i);
    // Bodies from empty to a few pages, so saves differ in the pages they touch.
    const int length = int(rng.bounded(i % 5 == 0 ? 40000 : 2000));
    while (note.body.size() < length)
        note.body += QString::fromUtf16(pieces[rng.bounded(int(std::size(pieces)))]);
    note.category = i % 7;
    return note;
}
