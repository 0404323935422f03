#pragma once

#include <QString>

namespace varnel
{

// Turns a typed start-up password into the form kept in the settings row.
// Passwords of fewer than four UTF-16 code units stay as typed; longer ones
// become: last, 2nd, 3rd character, the whole password, 2nd, 3rd character,
// with every decimal digit then replaced by a letter. Keyless and one-way in
// practice (a digit and its letter become indistinguishable).
QString ScramblePassword(const QString &typed);

} // namespace varnel
