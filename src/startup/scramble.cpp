#include "scramble.h"

#include <QStringView>

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

bool startsInsidePair(QStringView s, qsizetype at)
{
    return at > 0 && at < s.size() && s[at].isLowSurrogate() && s[at - 1].isHighSurrogate();
}

// The code units [from, to), or the whole characters they touch.
QStringView pieceOf(QStringView s, qsizetype from, qsizetype to, bool wholeCharacters)
{
    if (wholeCharacters) {
        if (startsInsidePair(s, from))
            --from;
        if (startsInsidePair(s, to))
            ++to;
    }
    return s.sliced(from, to - from);
}

// last, 2nd, 3rd, the whole password, 2nd, 3rd; then every digit replaced.
QString arranged(QStringView typed, bool wholeCharacters)
{
    const qsizetype n = typed.size();
    if (n < 4)
        return typed.toString();
    const QStringView last = pieceOf(typed, n - 1, n, wholeCharacters);
    const QStringView second = pieceOf(typed, 1, 3, wholeCharacters);
    QString s;
    s.reserve(n + 10);
    s += last;
    s += second;
    s += typed;
    s += second;
    for (QChar &c : s)
        c = substituted(c);
    return s;
}

} // namespace

QString ScramblePassword(const QString &typed)
{
    return arranged(typed, true);
}

bool PasswordMatches(const QString &typed, const QString &stored)
{
    const QString form = ScramblePassword(typed);
    if (form == stored)
        return true;
    // Earlier versions moved single code units and so could cut a surrogate
    // pair; storing the result turned each cut half into '?'. Such a form
    // still holds the whole password, so it is accepted for that password.
    const QString cutForm = arranged(typed, false);
    return cutForm != form && QString::fromUtf8(cutForm.toUtf8()) == stored;
}

} // namespace varnel
