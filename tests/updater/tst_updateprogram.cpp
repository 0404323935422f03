// The real `update` program, copied into a temporary program folder, against
// the HTTP test server on the site address built into it. A preloaded hook
// presses "开始升级" and answers the message boxes, logging their texts, their
// buttons and the row's status.

#include "oldprogram.h"
#include "releasecomment.h"
#include "signedpayload.h"
#include "siteserver.h"
#include "testfolder.h"
#include "testmain.h"
#include "varnel_config.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/file.h>
#include <sys/stat.h>

namespace
{
// What the site serves as the signature of the download.
enum Signature {
    NoSignature,
    Garbage,
    ByOtherKey,
    OfOtherFile,
    Good,
    GoodThenOneByteChanged,
    Legacy
};

const QString kDownload = QStringLiteral("/update/vlbook.exe");
const QString kFailedBox = QStringLiteral("Varnel提示\t3\tVarnel升级失败，原来的程序没有改动。");

// A captive portal's answer in place of the file.
QByteArray loginPage()
{
    QByteArray page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>酒店无线网络"
                      "</title></head><body><form action=\"/login\" method=\"post\">";
    while (page.size() < 6000)
        page += "<p>请输入房间号和姓氏以连接互联网。</p>";
    return page + "<input name=\"room\"><input type=\"submit\"></form></body></html>\n";
}
} // namespace

class TestUpdateProgram : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void signedUpdateReplacesTheProgram();
    void refusedUpdateLeavesTheProgramAlone_data();
    void refusedUpdateLeavesTheProgramAlone();
    void closingMidDownloadCancels();

  private:
    struct Run {
        int exitCode = -1;
        QStringList boxes;  // "title\ticon\ttext"
        QStringList window; // "buttons\trow status" when each box showed
    };
    Run runUpdate(bool closeWhileUpdating = false);
    void serve(const QByteArray &body, Signature signature, const QString &comment = QString());
    QString program() const { return folder_ + QStringLiteral("/Varnelpad"); }
    QStringList folderEntries() const
    {
        return QDir(folder_).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir work_;
    QString folder_;
    QString payload_;
    QString signature_;
    QString otherKey_;
    std::unique_ptr<SiteServer> server_;
};

void TestUpdateProgram::initTestCase()
{
    if (QByteArray(VARNEL_UPDATE_PUBKEY) != SiteServer::demoPublicKey())
        QSKIP("built with a release key: the demo site's signatures do not hold");
    QVERIFY(work_.isValid());
    folder_ = work_.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(folder_));
    QVERIFY(
        QFile::copy(QStringLiteral(VARNEL_UPDATE_PROGRAM), folder_ + QStringLiteral("/update")));
    payload_ = work_.filePath(QStringLiteral("vlbook.exe"));
    signature_ = work_.filePath(QStringLiteral("vlbook.exe.minisig"));
    otherKey_ = payload::newKeyPair(work_.path());
    QVERIFY(!otherKey_.isEmpty());

    // The port is fixed by the build; another run may still hold it for a while.
    SiteServer::Options options;
    options.port = QUrl(QStringLiteral(VARNEL_SITE_URL)).port(80);
    options.download = payload_;
    options.signature = signature_;
    const QDeadlineTimer deadline(30000);
    do {
        server_ = std::make_unique<SiteServer>(options);
        if (server_->ok())
            break;
        QTest::qWait(1000);
    } while (!deadline.hasExpired());
    QVERIFY2(server_->ok(), qPrintable(QStringLiteral("the site port %1 stays busy (a demo site "
                                                      "from scripts/site?): %2")
                                           .arg(options.port)
                                           .arg(server_->error())));
}

// Puts body and the kind of signature asked for where the site serves them.
void TestUpdateProgram::serve(const QByteArray &body, Signature signature, const QString &comment)
{
    QVERIFY(payload::writeFile(payload_, body));
    QFile::remove(signature_);
    const QString demoKey = SiteServer::demoSecretKey();
    QString complaint;
    switch (signature) {
    case NoSignature:
        break;
    case Garbage:
        QVERIFY(payload::writeFile(signature_, "untrusted comment: signature\nno signature at all\n"
                                               "trusted comment: none\n\n"));
        break;
    case ByOtherKey:
        complaint = payload::sign(payload_, otherKey_, signature_);
        break;
    case OfOtherFile: {
        const QString other = work_.filePath(QStringLiteral("other.bin"));
        QVERIFY(payload::writeFile(other, payload::program(1 << 16)));
        complaint = payload::sign(other, demoKey, signature_);
        break;
    }
    case Good:
    case GoodThenOneByteChanged:
    case Legacy:
        complaint = payload::sign(payload_, demoKey, signature_, signature == Legacy, comment);
        break;
    }
    QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
    if (signature == GoodThenOneByteChanged) {
        QByteArray changed = body;
        changed[changed.size() / 2] = char(changed.at(changed.size() / 2) ^ 0x01);
        QVERIFY(payload::writeFile(payload_, changed));
    }
}

TestUpdateProgram::Run TestUpdateProgram::runUpdate(bool closeWhileUpdating)
{
    const QString log = work_.filePath(QStringLiteral("boxes.log"));
    QFile::remove(log);
    QFile::remove(log + QStringLiteral(".window"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VARNEL_ANSWER_HOOK));
    env.insert(QStringLiteral("VARNEL_TEST_BOX_LOG"), log);
    if (closeWhileUpdating)
        env.insert(QStringLiteral("VARNEL_TEST_CLOSE_WHILE_UPDATING"), QStringLiteral("1"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    QProcess update;
    update.setProcessEnvironment(env);
    update.setWorkingDirectory(work_.path());
    update.setProcessChannelMode(QProcess::ForwardedChannels);
    update.start(folder_ + QStringLiteral("/update"), {});
    Run run;
    if (!update.waitForStarted(20000) || !update.waitForFinished(120000)) {
        update.kill();
        update.waitForFinished();
        return run;
    }
    run.exitCode = update.exitStatus() == QProcess::NormalExit ? update.exitCode() : -2;
    const auto lines = [](const QString &path) {
        if (!QFile::exists(path))
            return QStringList(); // no box showed
        return QString::fromUtf8(fileContents(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    run.boxes = lines(log);
    run.window = lines(log + QStringLiteral(".window"));
    return run;
}

void TestUpdateProgram::signedUpdateReplacesTheProgram()
{
    serve(payload::program(2 << 20), Good);
    QVERIFY(payload::writeFile(program(), kOldProgram));
    // The old file's bits stay, but for group and world write.
    QVERIFY(QFile::setPermissions(
        program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                       QFile::WriteGroup | QFile::ExeGroup | QFile::WriteOther | QFile::ExeOther));
    // Left by a killed run, and held by one that still runs; a FIFO of such a
    // name is no file of ours and must not stop the window from showing.
    QVERIFY(payload::writeFile(folder_ + QStringLiteral("/.Varnelpad.k3Jd9x.part"), "stale"));
    const QString fifo = folder_ + QStringLiteral("/.Varnelpad.fifo01.part");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile live(folder_ + QStringLiteral("/.Varnelpad.live01.part"));
    QVERIFY(live.open(QIODevice::WriteOnly));
    QCOMPARE(::flock(live.handle(), LOCK_EX), 0);

    const Run run = runUpdate();
    live.remove();
    QVERIFY(QFileInfo(fifo).exists());
    QFile::remove(fifo);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.boxes, (QStringList{QStringLiteral("Varnel升级\t0\t恭喜你，升级完成！"),
                                     QStringLiteral("Varnel提示\t2\tVarnel升级完毕")}));
    QCOMPARE(run.window,
             (QStringList{QStringLiteral("确定\t升级完毕"), QStringLiteral("确定\t升级完毕")}));
    QCOMPARE(fileContents(program()), fileContents(payload_));
    QCOMPARE(QFileInfo(program()).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser |
                                                              QFile::ExeUser | QFile::ReadGroup |
                                                              QFile::ExeGroup | QFile::ExeOther);
    QCOMPARE(folderEntries(), (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
    // The new file is a program that runs.
    QProcess started;
    started.start(program(), {});
    QVERIFY(started.waitForFinished(20000));
    QCOMPARE(started.readAllStandardOutput(), QByteArray("new program\n"));
}

void TestUpdateProgram::refusedUpdateLeavesTheProgramAlone_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("signature");
    QTest::addColumn<QString>("comment"); // the signature's trusted comment; empty: a good one
    QTest::addColumn<QByteArray>("old");  // the program to be replaced
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("bodyFetched");
    QTest::addColumn<QString>("reason");
    const QByteArray program = payload::program(1 << 20);
    const QByteArray stamped115 = kOldProgram + "# VARNEL_PROGRAM_VERSION=1.1.5\n";
    const QString arch = release::architecture();
    const auto row = [&](const char *name, const QByteArray &body, Signature signature,
                         const QString &comment, const QByteArray &old, const char *fault,
                         bool fetched, const char *reason) {
        QTest::newRow(name) << body << int(signature) << comment << old << QString::fromUtf8(fault)
                            << fetched << QString::fromUtf8(reason);
    };
    const QString good;
    // The signature is refused before the body is asked for.
    row("no signature", program, NoSignature, good, kOldProgram, "", false,
        "没有取到升级文件的签名：服务器上找不到这个文件（HTTP 404");
    row("garbage signature", program, Garbage, good, kOldProgram, "", false, "签名无法识别");
    row("signature by another key", program, ByOtherKey, good, kOldProgram, "", false,
        "不是用Varnel的发布密钥签名的");
    row("another program signed with the key", program, Good, "coreutils 9.1 " + arch + " id",
        kOldProgram, "", false, "另一个程序“coreutils”");
    row("release for another machine", program, Good, "varnelpad 1.1.3 aarch64x vlbook.exe",
        kOldProgram, "", false, "发布的，这台电脑是");
    row("signature of another file name", program, Good, "varnelpad 1.1.3 " + arch + " id",
        kOldProgram, "", false, "不是要下载的");
    row("same release again", program, Good, payload::releaseComment("1.1.2"), kOldProgram, "",
        false, "1.1.2 是旧版本");
    row("older release replayed", program, Good, good, stamped115, "", false,
        "1.1.3 是旧版本，不比现在的 1.1.5 新");
    row("minisign's own comment", program, Good, "-", kOldProgram, "", false, "没有按规定说明");
    // The body is fetched (or begun) and refused.
    row("good signature of another file", program, OfOtherFile, good, kOldProgram, "", true,
        "与它的签名不符");
    row("body changed by one byte", program, GoodThenOneByteChanged, good, kOldProgram, "", true,
        "与它的签名不符");
    row("legacy signature of 2 MB", payload::program(2 << 20), Legacy, good, kOldProgram, "", true,
        "旧式签名");
    row("announces 4 GB", program, Good, good, kOldProgram, "huge", true,
        "超过了允许的上限（256 MB）");
    row("redirect to a local file", program, Good, good, kOldProgram, "fileredirect", true,
        "转到了不支持的地址（file）");
    row("200 with an empty body", QByteArray(), Good, good, kOldProgram, "", true,
        "服务器发来的文件是空的");
    row("200 with an HTML page", loginPage(), Good, good, kOldProgram, "", true,
        "服务器发来的是一个网页");
    row("gzip-encoded body", program, Good, good, kOldProgram, "gzip", true, "压缩成“gzip”格式");
    row("ELF for another architecture", payload::forOtherMachine(program), Good, good, kOldProgram,
        "", true, "电脑编译的，不能在这台");
    row("smaller than a program", program.left(1000), Good, good, kOldProgram, "", true,
        "只有 1000 字节");
    row("download missing", program, Good, good, kOldProgram, "404", true,
        "服务器上找不到这个文件（HTTP 404");
    row("6000-character reason phrase", program, Good, good, kOldProgram, "longreason", true,
        "HTTP 500 xxxxxxxx");
}

void TestUpdateProgram::refusedUpdateLeavesTheProgramAlone()
{
    QFETCH(QByteArray, body);
    QFETCH(int, signature);
    QFETCH(QString, comment);
    QFETCH(QByteArray, old);
    QFETCH(QString, fault);
    QFETCH(bool, bodyFetched);
    QFETCH(QString, reason);
    serve(body, Signature(signature), comment);
    QVERIFY(payload::writeFile(program(), old));
    QVERIFY(server_->reset());
    QVERIFY(server_->setFault(kDownload, fault.isEmpty() ? QStringLiteral("none") : fault));

    const Run run = runUpdate();
    QCOMPARE(server_->hits(kDownload) > 0, bodyFetched);
    server_->setFault(kDownload, QStringLiteral("none"));
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes.at(0).startsWith(kFailedBox), qPrintable(run.boxes.at(0)));
    QVERIFY2(run.boxes.at(0).contains(reason), qPrintable(run.boxes.at(0)));
    QVERIFY2(run.boxes.at(0).size() < 600, qPrintable(run.boxes.at(0)));
    QCOMPARE(run.window, QStringList{QStringLiteral("确定\t更新错误")});
    QCOMPARE(fileContents(program()), old);
    QCOMPARE(folderEntries(), (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
}

// Closing the window while the body arrives cancels the update: the old
// program stays, nothing is left behind, and the exit status says it failed.
void TestUpdateProgram::closingMidDownloadCancels()
{
    serve(payload::program(1 << 20), Good);
    QVERIFY(payload::writeFile(program(), kOldProgram));
    QVERIFY(server_->setFault(kDownload, QStringLiteral("slow")));
    const Run run = runUpdate(true);
    server_->setFault(kDownload, QStringLiteral("none"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.boxes.isEmpty(), qPrintable(run.boxes.join(QLatin1Char('\n'))));
    QCOMPARE(fileContents(program()), kOldProgram);
    QCOMPARE(folderEntries(), (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
}

VARNEL_TEST_CLASS(TestUpdateProgram);
#include "tst_updateprogram.moc"
