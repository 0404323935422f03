#pragma once

#include <QIODevice>
#include <QString>

// The plain checks a downloaded program file has to pass before anything
// else is asked of it: not empty, not smaller than a program can be, not a
// web page, and a program this machine can run.
namespace programcheck
{

// No program built for this system, not even an empty one linked with the
// C library, is smaller than this.
constexpr qint64 kSmallestProgram = 4096;

// Why `body` (read from its start) cannot be the new program, in words;
// empty when it may be.
QString problem(QIODevice &body);

} // namespace programcheck
