// Autostart on freedesktop.org desktops: an entry in $XDG_CONFIG_HOME/autostart.

#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)

#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace varnel
{

namespace
{

const QString kEntryName = QStringLiteral("Pirdek.desktop");

QString configHome()
{
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

// An argument of Exec: quoted when it holds a reserved character, with the
// characters that stay special inside quotes escaped.
QString execArgument(const QString &program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = program.isEmpty();
    for (QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString arg;
    for (QChar c : program) {
        if (needsQuotes && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            arg += u'\\';
        arg += c;
        if (c == u'%') // a literal percent sign, not a field code
            arg += u'%';
    }
    return needsQuotes ? u'"' + arg + u'"' : arg;
}

// The escapes of a string value in a desktop entry.
QString entryValue(const QString &text)
{
    QString value;
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            value += QStringLiteral("\\\\");
            break;
        case u'\n':
            value += QStringLiteral("\\n");
            break;
        case u'\t':
            value += QStringLiteral("\\t");
            break;
        case u'\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

class XdgAutostart : public Autostart
{
  public:
    bool enable(const QString &program, QString *error) override
    {
        return write(program, true, error);
    }
    bool disable(const QString &program, QString *error) override
    {
        return write(program, false, error);
    }
    bool isEnabled() const override;
    QString location() const override { return QDir(folder()).filePath(kEntryName); }

  private:
    static QString folder() { return configHome() + QStringLiteral("/autostart"); }
    bool write(const QString &program, bool on, QString *error) const;
};

bool XdgAutostart::write(const QString &program, bool on, QString *error) const
{
    const auto failed = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!QDir().mkpath(folder()))
        return failed(QStringLiteral("无法创建文件夹“%1”。").arg(folder()));
    const QString hidden = on ? QStringLiteral("false") : QStringLiteral("true");
    const QString shown = on ? QStringLiteral("true") : QStringLiteral("false");
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Varnelpad\n"
                                         "Exec=%1\n"
                                         "Hidden=%2\n"
                                         "X-GNOME-Autostart-enabled=%3\n")
                              .arg(entryValue(execArgument(program)), hidden, shown);
    QSaveFile file(location());
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    const QByteArray bytes = entry.toUtf8();
    if (file.write(bytes) != bytes.size())
        return failed(file.errorString());
    if (!file.commit())
        return failed(file.errorString());
    return true;
}

bool XdgAutostart::isEnabled() const
{
    QFile file(location());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inEntry = false;
    bool enabled = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'['))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line == QStringLiteral("Hidden=true"))
            enabled = false;
        else if (inEntry && line == QStringLiteral("X-GNOME-Autostart-enabled=false"))
            enabled = false;
    }
    return enabled;
}

} // namespace

std::unique_ptr<Autostart> Autostart::create()
{
    return std::make_unique<XdgAutostart>();
}

} // namespace varnel

#endif
