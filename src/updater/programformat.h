#pragma once

#include <QByteArray>
#include <QString>

// The program file format of the platform the updater runs on; one backend
// per platform (programformat_elf.cpp for Linux).
namespace programformat
{

// How much of a file's start headProblem() looks at.
constexpr int kHeadBytes = 64;

// Why a file that starts with `head` is no program this machine can run, in
// words; empty when it is one.
QString headProblem(const QByteArray &head);

} // namespace programformat
