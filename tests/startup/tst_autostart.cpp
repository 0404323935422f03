// The freedesktop autostart entry.

#include "autostart.h"
#include "testfolder.h"
#include "testmain.h"

#include <QFile>
#include <QtTest>

using varnel::Autostart;

class TestXdgAutostart : public QObject
{
    Q_OBJECT

  private slots:
    void execLineIsQuotedWhenNeeded_data();
    void execLineIsQuotedWhenNeeded();
    void onAndOffAreReadBack();
    void relativeConfigHomeIsIgnored();

  private:
    static QString execLine(const QString &entryPath);
};

QString TestXdgAutostart::execLine(const QString &entryPath)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(QStringLiteral("Exec=")))
            return line.mid(5);
    }
    return QString();
}

void TestXdgAutostart::execLineIsQuotedWhenNeeded_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << "/opt/varnel/Varnelpad"
                           << "/opt/varnel/Varnelpad";
    QTest::newRow("space") << "/opt/My Apps/Varnelpad"
                           << "\"/opt/My Apps/Varnelpad\"";
    QTest::newRow("dollar and quote") << "/opt/a$b\"c/Varnelpad"
                                      << "\"/opt/a\\\\$b\\\\\"c/Varnelpad\"";
    QTest::newRow("percent") << "/opt/100%/Varnelpad"
                             << "/opt/100%%/Varnelpad";
    QTest::newRow("chinese") << "/opt/记事本/Varnelpad"
                             << "/opt/记事本/Varnelpad";
}

void TestXdgAutostart::execLineIsQuotedWhenNeeded()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    TestFolder folder(false);
    const auto autostart = Autostart::create();
    QString error;
    QVERIFY2(autostart->enable(program, &error), qPrintable(error));
    QCOMPARE(autostart->location(),
             folder.file(QStringLiteral("xdg-config/autostart/Pirdek.desktop")));
    QCOMPARE(execLine(autostart->location()), exec);
}

void TestXdgAutostart::onAndOffAreReadBack()
{
    TestFolder folder(false);
    const auto autostart = Autostart::create();
    QVERIFY(!autostart->isEnabled()); // no entry yet
    QString error;
    QVERIFY(autostart->enable(QStringLiteral("/opt/v/Varnelpad"), &error));
    QVERIFY(autostart->isEnabled());
    QVERIFY(autostart->disable(QStringLiteral("/opt/v/Varnelpad"), &error));
    QVERIFY(!autostart->isEnabled());
    QVERIFY(QFile::exists(autostart->location()));
    QCOMPARE(execLine(autostart->location()), QStringLiteral("/opt/v/Varnelpad"));
    QVERIFY(autostart->enable(QStringLiteral("/opt/w/Varnelpad"), &error));
    QVERIFY(autostart->isEnabled());
    QCOMPARE(execLine(autostart->location()), QStringLiteral("/opt/w/Varnelpad"));
}

void TestXdgAutostart::relativeConfigHomeIsIgnored()
{
    TestFolder folder(false);
    const QByteArray home = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    qputenv("HOME", folder.path().toLocal8Bit()); // keep the real home untouched
    const auto autostart = Autostart::create();
    const QString location = autostart->location();
    qputenv("HOME", home);
    QCOMPARE(location, folder.file(QStringLiteral(".config/autostart/Pirdek.desktop")));
}

VARNEL_TEST_CLASS(TestXdgAutostart);
#include "tst_autostart.moc"
