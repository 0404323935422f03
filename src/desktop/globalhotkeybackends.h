#pragma once

#include "globalhotkey.h"

#include <QDBusConnection>

#include <memory>

// The backends behind GlobalHotKey, one file each, and what chooses them.

// globalhotkey_x11.cpp: a passive grab on the X server the application runs on.
std::unique_ptr<GlobalHotKey> makeX11HotKey(QObject *parent = nullptr);
// Whether the application's X server is XWayland: there an X11 grab succeeds,
// but keys only reach X clients while one of their windows has the focus.
bool runsOnXWayland();

// globalhotkey_portal.cpp: org.freedesktop.portal.GlobalShortcuts on `bus`.
std::unique_ptr<GlobalHotKey> makePortalHotKey(const QDBusConnection &bus,
                                               QObject *parent = nullptr);

// globalhotkey.cpp: the X11 grab first (when there is one), the portal when
// the grab is refused or missing. Either may be null.
std::unique_ptr<GlobalHotKey> makeSessionHotKey(std::unique_ptr<GlobalHotKey> x11,
                                                std::unique_ptr<GlobalHotKey> portal,
                                                QObject *parent = nullptr);
