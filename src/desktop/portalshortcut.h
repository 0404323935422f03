#pragma once

#include <QDBusArgument>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// One entry of the GlobalShortcuts portal's shortcut lists, D-Bus type
// (sa{sv}): the shortcut's id and its options (description,
// preferred_trigger, trigger_description).
struct PortalShortcut {
    QString id;
    QVariantMap options;
};
Q_DECLARE_METATYPE(PortalShortcut)

inline QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}
