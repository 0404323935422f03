#pragma once

#include <QString>

// A failed system call's errno in Chinese words, followed by the system's
// own text in brackets: "没有写入权限（Permission denied）".
QString systemErrorText(int error);
