#include "categoryplan.h"

#include <QSet>

namespace varnel
{

namespace
{

QString keyOf(const QVariant &id)
{
    return QStringLiteral("K_") + id.toString();
}

bool isTopLevel(const QVariant &bh)
{
    bool ok = false;
    return bh.isNull() || (bh.toLongLong(&ok) == 0 && ok);
}

} // namespace

std::vector<CategoryPlacement> placeCategories(const std::vector<CategoryRow> &rows)
{
    std::vector<CategoryPlacement> placed;
    QSet<QString> present{kRootKey};
    std::vector<const CategoryRow *> waiting;
    auto place = [&](const CategoryRow &row, const QString &parent, bool top) {
        const QString key = keyOf(row.id);
        if (present.contains(key))
            return; // a duplicate id: the first one stands
        placed.push_back({parent, key, row.mc.toString(), top});
        present.insert(key);
    };
    for (const CategoryRow &row : rows) {
        if (isTopLevel(row.bh))
            place(row, kRootKey, true);
        else if (present.contains(keyOf(row.bh)))
            place(row, keyOf(row.bh), false);
        else
            waiting.push_back(&row);
    }
    // Parents that came later: attach what can be attached; when nothing moves,
    // the first waiting row (parent missing, or part of a cycle) goes under the
    // root, which may free others.
    while (!waiting.empty()) {
        bool moved = false;
        for (auto it = waiting.begin(); it != waiting.end();) {
            if (present.contains(keyOf((*it)->bh))) {
                place(**it, keyOf((*it)->bh), false);
                it = waiting.erase(it);
                moved = true;
            } else {
                ++it;
            }
        }
        if (!moved && !waiting.empty()) {
            place(*waiting.front(), kRootKey, true);
            waiting.erase(waiting.begin());
        }
    }
    return placed;
}

bool categoryNumber(const QString &key, qint64 *number)
{
    const int underscore = key.indexOf(QLatin1Char('_'));
    const QString part = underscore < 0 ? key : key.mid(underscore + 1);
    bool ok = false;
    const qint64 value = part.trimmed().toLongLong(&ok);
    if (ok && number)
        *number = value;
    return ok;
}

} // namespace varnel
