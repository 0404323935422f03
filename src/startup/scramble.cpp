#include "scramble.h"

namespace varnel
{

namespace
{

// The letter each digit 0..9 becomes. Ten different ASCII letters; changing
// them makes every stored password unusable.
constexpr char16_t kDigitLetters[10] = {u'q', u'H', u'w', u'T', u'e', u'R', u'y', u'K', u'u', u'P'};

QChar substituted(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return QChar(kDigitLetters[c.unicode() - u'0']);
    return c;
}

} // namespace

QString ScramblePassword(const QString &typed)
{
    const qsizetype n = typed.size();
    if (n < 4)
        return typed;
    QString s;
    s.reserve(n + 5);
    s += typed.at(n - 1);
    s += typed.at(1);
    s += typed.at(2);
    s += typed;
    s += typed.at(1);
    s += typed.at(2);
    for (QChar &c : s)
        c = substituted(c);
    return s;
}

} // namespace varnel
