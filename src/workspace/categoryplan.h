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

// Where each category goes in the tree. Rows come in table order; a row whose
// parent comes later waits for it, and a row whose parent never comes (or that
// is its own ancestor) goes under the root. Every category ends up exactly once.
struct CategoryPlacement {
    QString parentKey; // "boot" for the root
    QString key;       // "K_" + id
    QString name;
    bool topLevel; // placed straight under the root (added as a root category)
};

std::vector<CategoryPlacement> placeCategories(const std::vector<CategoryRow> &rows);

// The number part of a node key: the text after its first "_" (the whole key
// when it has none). Returns false when that is no whole number.
bool categoryNumber(const QString &key, qint64 *number);

inline const QString kRootKey = QStringLiteral("boot");

} // namespace varnel
