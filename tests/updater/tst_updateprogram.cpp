// The real `update` program, copied into a temporary program folder, against
// the HTTP test server on the site address built into it. A preloaded hook
// presses "开始升级" and answers the message boxes, logging their texts, their
// buttons and the row's status.

#include "oldprogram.h"
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

namespace
{
// What the site serves as the signature of the download.
enum Signature { NoSignature, Garbage, ByOtherKey, OfOtherFile, Good, GoodThenOneByteChanged };

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

  private:
    struct Run {
        int exitCode = -1;
        QStringList boxes;  // "title\ticon\ttext"
        QStringList window; // "buttons\trow status" when each box showed
    };
    Run runUpdate();
    void serve(const QByteArray &body, Signature signature);
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
void TestUpdateProgram::serve(const QByteArray &body, Signature signature)
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
        complaint = payload::sign(payload_, demoKey, signature_);
        break;
    }
    QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
    if (signature == GoodThenOneByteChanged) {
        QByteArray changed = body;
        changed[changed.size() / 2] = char(changed.at(changed.size() / 2) ^ 0x01);
        QVERIFY(payload::writeFile(payload_, changed));
    }
}

TestUpdateProgram::Run TestUpdateProgram::runUpdate()
{
    const QString log = work_.filePath(QStringLiteral("boxes.log"));
    QFile::remove(log);
    QFile::remove(log + QStringLiteral(".window"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VARNEL_ANSWER_HOOK));
    env.insert(QStringLiteral("VARNEL_TEST_BOX_LOG"), log);
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
    // Left by a killed run, and held by one that still runs.
    QVERIFY(payload::writeFile(folder_ + QStringLiteral("/.Varnelpad.k3Jd9x.part"), "stale"));
    QFile live(folder_ + QStringLiteral("/.Varnelpad.live01.part"));
    QVERIFY(live.open(QIODevice::WriteOnly));
    QCOMPARE(::flock(live.handle(), LOCK_EX), 0);

    const Run run = runUpdate();
    live.remove();
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.boxes, (QStringList{QStringLiteral("Varnel升级\t0\t恭喜你，升级完成！"),
                                     QStringLiteral("Varnel提示\t2\tVarnel升级完毕")}));
    QCOMPARE(run.window,
             (QStringList{QStringLiteral("确定\t升级完毕"), QStringLiteral("确定\t升级完毕")}));
    QCOMPARE(fileContents(program()), fileContents(payload_));
    QVERIFY(QFileInfo(program()).isExecutable());
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
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    const QByteArray program = payload::program(1 << 20);
    const auto row = [](const char *name, const QByteArray &body, Signature signature,
                        const char *fault, const char *reason) {
        QTest::newRow(name) << body << int(signature) << QString::fromUtf8(fault)
                            << QString::fromUtf8(reason);
    };
    row("no signature", program, NoSignature, "",
        "没有取到升级文件的签名：服务器上找不到这个文件（HTTP 404");
    row("garbage signature", program, Garbage, "", "升级文件的签名无法识别");
    row("signature by another key", program, ByOtherKey, "", "不是用Varnel的发布密钥签名的");
    row("good signature of another file", program, OfOtherFile, "", "与它的签名不符");
    row("body changed by one byte", program, GoodThenOneByteChanged, "", "与它的签名不符");
    row("200 with an empty body", QByteArray(), Good, "", "服务器发来的文件是空的");
    row("200 with an HTML page", loginPage(), Good, "", "服务器发来的是一个网页");
    row("gzip-encoded body", program, Good, "gzip", "压缩成“gzip”格式");
    row("ELF for another architecture", payload::forOtherMachine(program), Good, "",
        "电脑编译的，不能在这台");
    row("smaller than a program", program.left(1000), Good, "", "只有 1000 字节");
    row("download missing", program, Good, "404", "服务器上找不到这个文件（HTTP 404");
}

void TestUpdateProgram::refusedUpdateLeavesTheProgramAlone()
{
    QFETCH(QByteArray, body);
    QFETCH(int, signature);
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    serve(body, Signature(signature));
    QVERIFY(payload::writeFile(program(), kOldProgram));
    QVERIFY(server_->setFault(kDownload, fault.isEmpty() ? QStringLiteral("none") : fault));

    const Run run = runUpdate();
    server_->setFault(kDownload, QStringLiteral("none"));
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes.at(0).startsWith(kFailedBox), qPrintable(run.boxes.at(0)));
    QVERIFY2(run.boxes.at(0).contains(reason), qPrintable(run.boxes.at(0)));
    QCOMPARE(run.window, QStringList{QStringLiteral("确定\t更新错误")});
    QCOMPARE(fileContents(program()), kOldProgram);
    QCOMPARE(folderEntries(), (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
}

VARNEL_TEST_CLASS(TestUpdateProgram);
#include "tst_updateprogram.moc"
