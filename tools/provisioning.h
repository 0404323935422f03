#pragma once

#include <QString>

// Lays out the data folder of a program folder: the encrypted database with
// its three tables and the settings row (admin, empty password, autostart off,
// skin 1), and the five skin pictures. Never overwrites an existing database
// or picture. Needs a QGuiApplication for the pictures.
bool provisionProgramFolder(const QString &folder);
