#pragma once

#include <QByteArray>

// The program file that an update is to replace.
inline const QByteArray kOldProgram = QByteArrayLiteral("#!/bin/sh\necho old program\n");
