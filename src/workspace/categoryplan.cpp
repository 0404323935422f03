#include "categoryplan.h"

#include <QHash>

#include <algorithm>

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

namespace
{

constexpr int kNone = -1;

// The row that stands for each id, in table order: a top-level row of a
// repeated id (it needs no parent), otherwise the first row with the id.
std::vector<int> standingRows(const std::vector<CategoryRow> &rows, QHash<QString, int> *byKey)
{
    byKey->reserve(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const auto it = byKey->constFind(keyOf(rows[i].id));
        if (it == byKey->constEnd())
            byKey->insert(keyOf(rows[i].id), i);
        else if (!isTopLevel(rows[*it].bh) && isTopLevel(rows[i].bh))
            (*byKey)[keyOf(rows[i].id)] = i;
    }
    std::vector<int> standing;
    standing.reserve(byKey->size());
    for (const int i : *byKey)
        standing.push_back(i);
    std::sort(standing.begin(), standing.end());
    return standing;
}

// Each row's parent row, kNone for the root. A cycle is broken at its
// earliest row, which goes under the root; walking each chain once keeps
// this linear.
std::vector<int> parentRows(const std::vector<CategoryRow> &rows, const std::vector<int> &standing,
                            const QHash<QString, int> &byKey)
{
    std::vector<int> parent(rows.size(), kNone);
    for (const int i : standing) {
        if (!isTopLevel(rows[i].bh))
            parent[i] = byKey.value(keyOf(rows[i].bh), kNone);
    }
    enum : char { Unseen, OnPath, Done };
    std::vector<char> state(rows.size(), Unseen);
    std::vector<int> path;
    for (const int start : standing) {
        path.clear();
        int j = start;
        while (j != kNone && state[j] == Unseen) {
            state[j] = OnPath;
            path.push_back(j);
            j = parent[j];
        }
        if (j != kNone && state[j] == OnPath) {
            const auto from = std::find(path.begin(), path.end(), j);
            parent[*std::min_element(from, path.end())] = kNone;
        }
        for (const int k : path)
            state[k] = Done;
    }
    return parent;
}

} // namespace

std::vector<CategoryPlacement> placeCategories(const std::vector<CategoryRow> &rows)
{
    QHash<QString, int> byKey;
    const std::vector<int> standing = standingRows(rows, &byKey);
    const std::vector<int> parent = parentRows(rows, standing, byKey);

    // Top-level rows first, then those that lost their parent; children in
    // table order below each parent; parents always before their children.
    std::vector<int> queue;
    queue.reserve(standing.size());
    for (const bool proper : {true, false}) {
        for (const int i : standing) {
            if (parent[i] == kNone && isTopLevel(rows[i].bh) == proper)
                queue.push_back(i);
        }
    }
    std::vector<std::vector<int>> children(rows.size());
    for (const int i : standing) {
        if (parent[i] != kNone)
            children[parent[i]].push_back(i);
    }
    std::vector<int> depth(rows.size(), 1);
    std::vector<CategoryPlacement> placed;
    placed.reserve(standing.size());
    for (std::size_t q = 0; q < queue.size(); ++q) {
        const int i = queue[q];
        const bool top = parent[i] == kNone;
        placed.push_back({top ? kRootKey : keyOf(rows[parent[i]].id), keyOf(rows[i].id),
                          rows[i].mc.toString(), top, depth[i]});
        for (const int child : children[i]) {
            depth[child] = depth[i] + 1;
            queue.push_back(child);
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
