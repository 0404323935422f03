#pragma once

#include <QString>
#include <QVariant>

#include <vector>

namespace varnel
{

// One row of the category table as read: id, bh (the parent's id, 0 for a
// top-level category) and mc (the name).
struct CategoryRow {
    QVariant id;
    QVariant bh;
    QVariant mc;
};

// Where each category goes in the tree. Any parent numbers are placed, in
// one pass: a row whose parent is missing goes under the root, and so does the
// earliest row of a cycle; of rows repeating an id, one stands. Every category
// ends up exactly once, parents before their children (level by level), top-level
// rows first in table order, then those that lost their parent.
struct CategoryPlacement {
    QString parentKey; // "boot" for the root
    QString key;       // "K_" + id
    QString name;
    bool topLevel; // placed straight under the root (added as a root category)
    int depth;     // 1 for a node under the root
};

std::vector<CategoryPlacement> placeCategories(const std::vector<CategoryRow> &rows);

// The number part of a node key: the text after its first "_" (the whole key
// when it has none). Returns false when that is no whole number.
bool categoryNumber(const QString &key, qint64 *number);

inline const QString kRootKey = QStringLiteral("boot");

} // namespace varnel
