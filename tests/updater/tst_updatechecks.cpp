// What a downloaded program file has to pass before it may replace the old
// one: the plain checks of its bytes and its minisign signature, made by the
// minisign program.

#include "minisign.h"
#include "programcheck.h"
#include "releasecomment.h"
#include "signedpayload.h"
#include "siteserver.h"
#include "testfolder.h"
#include "testmain.h"
#include "updaterinfo.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <elf.h>

namespace
{
QByteArray withByte(QByteArray bytes, int at, char value)
{
    bytes[at] = value;
    return bytes;
}

QString problemOf(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return programcheck::problem(buffer);
}
} // namespace

class TestUpdateChecks : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void programProblems_data();
    void programProblems();
    void signatureVerdicts_data();
    void signatureVerdicts();
    void publicKeys();
    void releaseComments_data();
    void releaseComments();
    void installedVersionComesFromTheStamp();
    void legacySignatureOnlyForSmallFiles();
    void demoKeyOnlyForThisMachine();

  private:
    QTemporaryDir work_;
    QString otherKey_;
};

void TestUpdateChecks::initTestCase()
{
    QVERIFY(work_.isValid());
    otherKey_ = payload::newKeyPair(work_.path());
    QVERIFY(!otherKey_.isEmpty());
}

void TestUpdateChecks::programProblems_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem"); // a part of it; empty: none
    const QByteArray program = payload::program(8192);
    QTest::newRow("program of this machine") << program << QString();
    QTest::newRow("empty") << QByteArray() << "是空的";
    QTest::newRow("too small") << program.left(4095) << "只有 4095 字节";
    QTest::newRow("page") << QByteArray(5000, ' ').prepend("\r\n <html>") << "是一个网页";
    QTest::newRow("page with byte order mark")
        << QByteArray("\xEF\xBB\xBF<!DOCTYPE html>") << "网页";
    QTest::newRow("no program") << QByteArray(8192, 'x') << "不是这台电脑可以运行的程序";
    QTest::newRow("other machine") << payload::forOtherMachine(program) << "不能在这台";
    QTest::newRow("other word size") << withByte(program, EI_CLASS, ELFCLASS32) << "是 32 位的";
    QTest::newRow("other byte order")
        << withByte(program, EI_DATA, ELFDATA2MSB) << "电脑编译的，不能在这台";
    QTest::newRow("broken class") << withByte(program, EI_CLASS, 7) << "已损坏";
    QTest::newRow("object file") << withByte(program, 16, ET_REL) << "不是可以运行的程序";
}

void TestUpdateChecks::programProblems()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString found = problemOf(bytes);
    if (problem.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QVERIFY2(found.contains(problem), qPrintable(found));
}

void TestUpdateChecks::signatureVerdicts_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<int>("verdict");

    const QByteArray data = payload::program(1 << 18);
    const QString file = work_.filePath(QStringLiteral("data"));
    QVERIFY(payload::writeFile(file, data));
    const auto signatureBy = [&](const QString &key, bool legacy = false) {
        const QString out = work_.filePath(QStringLiteral("sig"));
        const QString complaint = payload::sign(file, key, out, legacy);
        return complaint.isEmpty() ? fileContents(out) : complaint.toUtf8();
    };
    const QByteArray good = signatureBy(SiteServer::demoSecretKey());
    QList<QByteArray> lines = good.split('\n');
    QList<QByteArray> otherComment = lines;
    otherComment[2] = "trusted comment: timestamp:0\tfile:vlbook.exe";
    QList<QByteArray> plainKind = lines; // the prehashed signature called a plain one
    plainKind[1] = QByteArray::fromBase64(lines.at(1)).replace(0, 2, "Ed").toBase64();
    QByteArray changed = data;
    changed[1000] = char(changed.at(1000) + 1);

    using minisign::Verdict;
    const auto row = [](const char *name, const QByteArray &d, const QByteArray &s, Verdict v) {
        QTest::newRow(name) << d << s << int(v);
    };
    row("prehashed", data, good, Verdict::Good);
    row("plain (legacy)", data, signatureBy(SiteServer::demoSecretKey(), true), Verdict::Good);
    row("windows line ends", data, QByteArray(good).replace("\n", "\r\n"), Verdict::Good);
    row("data changed", changed, good, Verdict::BadSignature);
    row("data cut short", data.left(data.size() - 1), good, Verdict::BadSignature);
    row("other key", data, signatureBy(otherKey_), Verdict::OtherKey);
    row("trusted comment changed", data, otherComment.join('\n'), Verdict::BadComment);
    row("kind changed", data, plainKind.join('\n'), Verdict::BadSignature);
    row("empty", data, QByteArray(), Verdict::Malformed);
    row("html", data, "<html><body>404</body></html>", Verdict::Malformed);
    row("two lines only", data, lines.mid(0, 2).join('\n'), Verdict::Malformed);
    row("signature line cut", data,
        (QList<QByteArray>{lines[0], lines[1].left(40), lines[2], lines[3]}).join('\n'),
        Verdict::Malformed);
}

void TestUpdateChecks::signatureVerdicts()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, signature);
    QFETCH(int, verdict);
    const auto key = minisign::parsePublicKey(SiteServer::demoPublicKey());
    QVERIFY(key);
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    buffer.seek(77); // the check reads from the start whatever the position
    const minisign::Verdict found = minisign::verify(*key, signature, buffer);
    QCOMPARE(int(found), verdict);
    QCOMPARE(minisign::verdictText(found).isEmpty(), found == minisign::Verdict::Good);
}

void TestUpdateChecks::publicKeys()
{
    QVERIFY(minisign::parsePublicKey(updater::updatePublicKey()));
    QVERIFY(minisign::parsePublicKey(SiteServer::demoPublicKey()));
    QVERIFY(!minisign::parsePublicKey("RWQ"));
    QVERIFY(!minisign::parsePublicKey(QByteArray(42, 'E').toBase64())); // not "Ed"
    QVERIFY(!minisign::parsePublicKey("RWQqDKmzjc2OEQKrKBrNS3s9M7j0U/lGZ3+S1qZJVVh84JQoASXzkNV!"));
}

void TestUpdateChecks::releaseComments_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("refusal"); // a part of it; empty: accepted
    // (the program's own table has the other refusals, through a real update)
    const QString arch = release::architecture();
    const auto row = [](const char *name, const QString &comment, const QString &refusal) {
        QTest::newRow(name) << comment << refusal;
    };
    row("newer release", "varnelpad 1.1.3 " + arch + " vlbook.exe", "");
    row("newer by minor", "varnelpad 1.2 " + arch + " vlbook.exe", "");
    row("older version", "varnelpad 1.0.99 " + arch + " vlbook.exe", "是旧版本");
    row("other architecture", "varnelpad 1.1.3 armv7l vlbook.exe", "这台电脑是 " + arch);
    row("extra field", "varnelpad 1.1.3 " + arch + " vlbook.exe x", "没有按规定说明");
    row("version with a suffix", "varnelpad 1.1.3-rc1 " + arch + " vlbook.exe", "没有按规定");
    row("empty", QString(), "没有按规定说明");
}

void TestUpdateChecks::releaseComments()
{
    QFETCH(QString, comment);
    QFETCH(QString, refusal);
    const QString found =
        release::refusal(comment, QStringLiteral("vlbook.exe"), QVersionNumber(1, 1, 2));
    if (refusal.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QVERIFY2(found.contains(refusal), qPrintable(found));
}

void TestUpdateChecks::installedVersionComesFromTheStamp()
{
    // The notebook as built carries its own version.
    QCOMPARE(release::installedVersion(QStringLiteral(VARNEL_NOTEBOOK_PROGRAM)),
             QVersionNumber(1, 1, 2));
    const QString file = work_.filePath(QStringLiteral("stamped"));
    QVERIFY(payload::writeFile(file, payload::program(8192) + "VARNEL_PROGRAM_VERSION=1.2.10\0x"));
    QCOMPARE(release::installedVersion(file), QVersionNumber(1, 2, 10));
    QVERIFY(payload::writeFile(file, "VARNEL_PROGRAM_VERSION="));
    QCOMPARE(release::installedVersion(file), release::builtVersion());
    QVERIFY(payload::writeFile(file, payload::program(8192)));
    QCOMPARE(release::installedVersion(file), release::builtVersion());
    QCOMPARE(release::installedVersion(work_.filePath(QStringLiteral("missing"))),
             release::builtVersion());
}

void TestUpdateChecks::legacySignatureOnlyForSmallFiles()
{
    QByteArray data = payload::program(minisign::kLegacyLimit + 1);
    const QString file = work_.filePath(QStringLiteral("large"));
    const QString out = work_.filePath(QStringLiteral("large.minisig"));
    QVERIFY(payload::writeFile(file, data));
    QCOMPARE(payload::sign(file, SiteServer::demoSecretKey(), out, true), QString());
    const auto key = minisign::parsePublicKey(SiteServer::demoPublicKey());
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(minisign::verify(*key, fileContents(out), buffer), minisign::Verdict::LegacyTooLarge);
}

void TestUpdateChecks::demoKeyOnlyForThisMachine()
{
    const QByteArray demo = SiteServer::demoPublicKey();
    for (const char *url : {"http://127.0.0.1:47810/update/vlbook.exe", "https://localhost/x",
                            "http://[::1]:8080/x", "http://127.8.9.10/x"})
        QVERIFY2(updater::demoKeyRefusal(QString::fromLatin1(url), demo).isEmpty(), url);
    for (const char *url : {"https://varnel.example/update/vlbook.exe", "http://192.0.2.1/x",
                            "http://127.0.0.1.example/x"})
        QVERIFY2(updater::demoKeyRefusal(QString::fromLatin1(url), demo).contains("演示"), url);
    QVERIFY(
        updater::demoKeyRefusal(QStringLiteral("https://varnel.example/x"), "RWQother").isEmpty());
}

VARNEL_TEST_CLASS(TestUpdateChecks);
#include "tst_updatechecks.moc"
