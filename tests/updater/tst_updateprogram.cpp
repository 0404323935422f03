// The real `update` program, copied into a temporary program folder, against
// the HTTP test server on the site address built into it. A preloaded hook
// presses "开始升级" and answers the message boxes, logging their texts.

#include "oldprogram.h"
#include "siteserver.h"
#include "testfolder.h"
#include "testmain.h"
#include "varnel_config.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace
{
// A new program file worth checking byte for byte.
QByteArray newProgram()
{
    QByteArray bytes = "#!/bin/sh\necho new program\nexit 0\n";
    for (int i = 0; bytes.size() < 3 * 1024 * 1024; ++i)
        bytes += QByteArray::number(qint64(i) * 7919) + '\n';
    return bytes;
}

} // namespace

class TestUpdateProgram : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void updateReplacesTheProgram();
    void missingDownloadLeavesTheProgramAlone();

  private:
    struct Run {
        int exitCode = -1;
        QStringList boxes; // "title\ticon\ttext"
    };
    Run runUpdate();

    QTemporaryDir work_;
    QString folder_;
    QString payload_;
    std::unique_ptr<SiteServer> server_;
};

void TestUpdateProgram::initTestCase()
{
    QVERIFY(work_.isValid());
    folder_ = work_.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(folder_));
    QVERIFY(
        QFile::copy(QStringLiteral(VARNEL_UPDATE_PROGRAM), folder_ + QStringLiteral("/update")));
    payload_ = work_.filePath(QStringLiteral("vlbook.exe"));
    QFile payload(payload_);
    QVERIFY(payload.open(QIODevice::WriteOnly));
    payload.write(newProgram());
    payload.close();

    // The port is fixed by the build; another run may still hold it for a while.
    SiteServer::Options options;
    options.port = QUrl(QStringLiteral(VARNEL_SITE_URL)).port(80);
    options.download = payload_;
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

TestUpdateProgram::Run TestUpdateProgram::runUpdate()
{
    const QString log = work_.filePath(QStringLiteral("boxes.log"));
    QFile::remove(log);
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
    run.boxes = QString::fromUtf8(fileContents(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

void TestUpdateProgram::updateReplacesTheProgram()
{
    const QString program = folder_ + QStringLiteral("/Varnelpad");
    QFile old(program);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(kOldProgram);
    old.close();
    QVERIFY(server_->setFault(QStringLiteral("/update/vlbook.exe"), QStringLiteral("none")));

    const Run run = runUpdate();
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.boxes, (QStringList{QStringLiteral("Varnel升级\t0\t恭喜你，升级完成！"),
                                     QStringLiteral("Varnel提示\t2\tVarnel升级完毕")}));
    QCOMPARE(fileContents(program), fileContents(payload_));
    QVERIFY(QFileInfo(program).isExecutable());
    QCOMPARE(QDir(folder_).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
    // The new file is a program that runs.
    QProcess started;
    started.start(program, {});
    QVERIFY(started.waitForFinished(20000));
    QCOMPARE(started.readAllStandardOutput(), QByteArray("new program\n"));
}

void TestUpdateProgram::missingDownloadLeavesTheProgramAlone()
{
    const QString program = folder_ + QStringLiteral("/Varnelpad");
    QFile::remove(program);
    QFile old(program);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(kOldProgram);
    old.close();
    QVERIFY(server_->setFault(QStringLiteral("/update/vlbook.exe"), QStringLiteral("404")));

    const Run run = runUpdate();
    server_->setFault(QStringLiteral("/update/vlbook.exe"), QStringLiteral("none"));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.boxes.size(), 1);
    QVERIFY2(run.boxes.at(0).startsWith(
                 QStringLiteral("Varnel提示\t3\tVarnel升级失败，原来的程序没有改动。")),
             qPrintable(run.boxes.at(0)));
    QVERIFY(run.boxes.at(0).contains(QStringLiteral("404")));
    QCOMPARE(fileContents(program), kOldProgram);
    QCOMPARE(QDir(folder_).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
}

VARNEL_TEST_CLASS(TestUpdateProgram);
#include "tst_updateprogram.moc"
