#pragma once

#include <QString>
#include <QVersionNumber>

#include <optional>

// What a release signature says of its file, in its trusted comment: one
// line of four fields separated by single spaces,
//     varnelpad 1.1.3 x86_64 vlbook.exe
// product, version, architecture (as `uname -m` names it) and file name.
// The comment is covered by the signature, so these facts are as sure as
// the file itself.
struct ReleaseComment {
    QString product;
    QVersionNumber version;
    QString architecture;
    QString fileName;

    // Nothing when the text is not of that form.
    static std::optional<ReleaseComment> parse(const QString &text);
    QString toString() const;
};

namespace release
{

inline const QString kProduct = QStringLiteral("varnelpad");

// The architecture of this machine as the comment names it.
QString architecture();

// Why the release the comment describes may not replace a program of
// version `installed` when fetched as `fileName`, in words; empty when it may.
QString refusal(const QString &commentText, const QString &fileName,
                const QVersionNumber &installed);

// The version of the program file at path, read from the stamp the notebook
// carries in its file (never by running it); the version this updater came
// with when the file is missing or has no stamp.
QVersionNumber installedVersion(const QString &path);
// The version this updater was built with.
QVersionNumber builtVersion();

} // namespace release
