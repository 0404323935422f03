#pragma once

#include <QString>

namespace varnel
{

// Turns a typed start-up password into the form kept in the settings row.
// Passwords of fewer than four UTF-16 code units stay as typed; longer ones
// become: last, 2nd, 3rd character, the whole password, 2nd, 3rd character,
// with every decimal digit then replaced by a letter. Positions count UTF-16
// code units, but a character outside the Basic Multilingual Plane is never
// cut: where a position falls on half of a surrogate pair the whole pair is
// taken (so such a form can be longer than n + 5). Keyless and one-way in
// practice (a digit and its letter become indistinguishable).
QString ScramblePassword(const QString &typed);

// Whether a typed password opens the stored form: the form ScramblePassword
// gives, or the damaged form that earlier versions stored for a password
// whose rearrangement cut a surrogate pair.
bool PasswordMatches(const QString &typed, const QString &stored);

} // namespace varnel
