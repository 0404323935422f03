// The download engine against a real HTTP server on 127.0.0.1.

#include "boxanswerer.h"
#include "downloader.h"
#include "httpreadservice.h"
#include "oldprogram.h"
#include "siteserver.h"
#include "smallfetch.h"
#include "stagedfile.h"
#include "testfolder.h"
#include "testmain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// What the engine reported, one line per event in arrival order.
class EventLog
{
  public:
    explicit EventLog(Downloader &engine)
    {
        QObject::connect(&engine, &Downloader::DownloadProgress,
                         [this](qint64 cur, qint64 max, const QString &file) {
                             lines
                                 << QStringLiteral("progress %1/%2 %3").arg(cur).arg(max).arg(file);
                         });
        QObject::connect(&engine, &Downloader::DownloadError,
                         [this](const QString &file) { lines << QStringLiteral("error ") + file; });
        QObject::connect(&engine, &Downloader::DownloadComplete,
                         [this](qint64 max, const QString &file) {
                             lines << QStringLiteral("complete %1 %2").arg(max).arg(file);
                         });
        QObject::connect(
            &engine, &Downloader::DownloadAllComplete, [this](const QStringList &failed) {
                lines << QStringLiteral("all [") + failed.join(QLatin1Char('|')) + QLatin1Char(']');
            });
    }
    bool finished() const
    {
        return !lines.isEmpty() && lines.last().startsWith(QLatin1String("all"));
    }
    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }
    QStringList lines;
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A reason the user reads is Chinese: Latin script only in the system's or
// server's text in brackets, in quoted names and in the product's name.
bool readsChinese(QString reason)
{
    static const QRegularExpression allowed(QStringLiteral("（[^（）]*）|“[^“”]*”|Varnel(pad)?"));
    reason.remove(allowed);
    return !reason.isEmpty() && !reason.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class TestDownloader : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void successReplacesTheFileWhole();
    void failuresLeaveTheOldFileAsItWas_data();
    void failuresLeaveTheOldFileAsItWas();
    void redirectIsFollowedAndReported();
    void readCancelledAndRestartedFromItsOwnNotification();
    void slowDownloadCanBeCancelledWithoutATrace();
    void destinationThatCannotBeWrittenIsAFailure();
    void sameDestinationTwiceIsRefusedWhileRunning();
    void addressThatCannotBeReadShowsTheErrorBox();
    void errorBoxTexts();
    void cancelWithNothingRunningChangesNothing();
    void smallFetchHasBounds_data();
    void smallFetchHasBounds();
    void httpsNeedsACertificateThatChecksOut();

  private:
    std::unique_ptr<SiteServer> server_;
};

void TestDownloader::initTestCase()
{
    server_ = std::make_unique<SiteServer>();
    QVERIFY2(server_->ok(), qPrintable(server_->error()));
}

void TestDownloader::successReplacesTheFileWhole()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Varnelpad"));
    writeFile(target, kOldProgram);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    const qint64 size = 3 * 1024 * 1024 + 17;

    Downloader engine;
    EventLog log(engine);
    engine.BeginDownload(server_->url(QStringLiteral("/t/ok?size=%1").arg(size)), target);
    QCOMPARE(engine.saveFiles(), (QStringList{QString(), target}));
    QCOMPARE(engine.fileStatus(), (QList<quint8>{0, 255}));
    QTRY_VERIFY_WITH_TIMEOUT(log.finished(), 30000);

    QCOMPARE(fileContents(target), SiteServer::pattern(size));
    QVERIFY(QFileInfo(target).isExecutable());
    // The old file's bits (owner only), and runnable.
    QCOMPARE(QFile::permissions(target) & 0x0777,
             QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("Varnelpad")});

    // Progress first (the last one reports every byte), then the file, then the batch.
    QVERIFY(log.lines.size() >= 3);
    QCOMPARE(log.lines.at(log.lines.size() - 3),
             QStringLiteral("progress %1/%1 %2").arg(size).arg(target));
    QCOMPARE(log.lines.at(log.lines.size() - 2),
             QStringLiteral("complete %1 %2").arg(size).arg(target));
    QCOMPARE(log.lines.last(), QStringLiteral("all []"));
    QCOMPARE(log.count(QStringLiteral("progress")), log.lines.size() - 2);
    QCOMPARE(engine.saveFiles(), QStringList{QString()});
    QCOMPARE(engine.fileStatus(), QList<quint8>{0});
    QVERIFY(engine.failureReason(target).isEmpty());
}

void TestDownloader::failuresLeaveTheOldFileAsItWas_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<qint64>("maxBytes"); // the bounds of the read; 0: none
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<qint64>("minRate");
    const auto row = [](const char *name, const char *path, const char *reason, qint64 maxBytes = 0,
                        int deadlineMs = 0, qint64 minRate = 0) {
        QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(reason) << maxBytes
                            << deadlineMs << minRate;
    };
    row("404", "/t/404", "404");
    row("500", "/t/500", "500");
    row("refused", "", "拒绝");
    row("short body", "/t/short?size=200000&sent=50000", "");
    row("closed without answer", "/t/close", "");
    row("redirect to a 404", "/t/redirect?to=/t/404", "404");
    row("announced length over the limit", "/t/ok?size=200000", "文件太大（0.2 MB）", 100000);
    row("unannounced body over the limit", "/t/ok?size=200000&unsized=1", "超过了允许的上限",
        100000);
    row("past the deadline", "/t/slow?size=100000&chunk=100&delay=100", "规定的时间", 0, 1500);
    row("below the minimum rate", "/t/slow?size=100000&chunk=100&delay=100", "下载太慢", 0, 0,
        100000);
}

void TestDownloader::failuresLeaveTheOldFileAsItWas()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    QFETCH(qint64, maxBytes);
    QFETCH(int, deadlineMs);
    QFETCH(qint64, minRate);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Varnelpad"));
    const QString other = dir.filePath(QStringLiteral("other"));
    writeFile(target, kOldProgram);
    const QString url = path.isEmpty()
                            ? QStringLiteral("http://127.0.0.1:%1/x").arg(SiteServer::unusedPort())
                            : server_->url(path);
    AsyncReadOptions options;
    options.maxBytes = maxBytes;
    if (deadlineMs > 0)
        options.deadline = QDeadlineTimer(deadlineMs);
    options.minBytesPerSecond = minRate;
    options.rateWindowMs = 1500;

    Downloader engine;
    EventLog log(engine);
    engine.BeginDownload(url, target, options);
    engine.BeginDownload(server_->url(QStringLiteral("/t/ok?size=1000")), other);
    QTRY_VERIFY_WITH_TIMEOUT(log.finished(), 30000);

    QCOMPARE(fileContents(target), kOldProgram);
    QCOMPARE(fileContents(other), SiteServer::pattern(1000));
    QCOMPARE(entries(dir.path()),
             (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("other")}));
    QCOMPARE(log.count(QStringLiteral("error ")), 1);
    QVERIFY(log.lines.contains(QStringLiteral("error ") + target));
    QCOMPARE(log.count(QStringLiteral("complete")), 1);
    QCOMPARE(log.count(QStringLiteral("all")), 1);
    QCOMPARE(log.lines.last(), QStringLiteral("all [|%1]").arg(target));
    for (const QString &line : log.lines)
        QVERIFY2(!(line.startsWith(QLatin1String("progress")) && line.endsWith(target) &&
                   line.contains(QLatin1String("200000/200000"))),
                 qPrintable(line));
    QVERIFY(!engine.failureReason(target).isEmpty());
    QVERIFY2(engine.failureReason(target).contains(reason),
             qPrintable(engine.failureReason(target)));
    QVERIFY2(readsChinese(engine.failureReason(target)), qPrintable(engine.failureReason(target)));
    QCOMPARE(engine.fileStatus(), QList<quint8>{0});
}

void TestDownloader::redirectIsFollowedAndReported()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("file"));
    HttpReadService service;
    QList<int> codes;
    ReadState last;
    connect(&service, &ReadService::ReadProgress, this,
            [&codes](const ReadState &s) { codes << s.StatusCode; });
    connect(&service, &ReadService::ReadComplete, this, [&last, &codes](const ReadState &s) {
        codes << s.StatusCode;
        last = s;
    });
    AsyncReadOptions options;
    options.stageBeside = target;
    QVERIFY(!service.StartRead(server_->url(QStringLiteral("/t/redirect?to=/t/ok%3Fsize%3D5000")),
                               target, options));
    QTRY_VERIFY_WITH_TIMEOUT(!last.Key.isEmpty(), 30000);
    QCOMPARE(last.StatusCode, int(ReadCode::EndDownload));
    QVERIFY(codes.contains(ReadCode::Redirecting));
    QVERIFY(codes.indexOf(ReadCode::Redirecting) < codes.indexOf(ReadCode::BeginDownload));
    QCOMPARE(last.BytesMax, 5000);
    QVERIFY(last.Data);
    QVERIFY(last.Data->commit(target));
    QCOMPARE(fileContents(target), SiteServer::pattern(5000));
}

void TestDownloader::readCancelledAndRestartedFromItsOwnNotification()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("file"));
    HttpReadService service;
    AsyncReadOptions options;
    options.stageBeside = target;
    QList<ReadState> completions;
    bool restarted = false;
    connect(&service, &ReadService::ReadProgress, this, [&](const ReadState &s) {
        if (s.StatusCode != ReadCode::BeginDownload || restarted)
            return;
        restarted = true;
        QVERIFY(service.CancelRead(s.Key));
        QVERIFY(!service.StartRead(server_->url(QStringLiteral("/t/ok?size=777")), s.Key, options));
    });
    connect(&service, &ReadService::ReadComplete, this,
            [&completions](const ReadState &s) { completions << s; });
    QVERIFY(!service.StartRead(server_->url(QStringLiteral("/t/ok?size=200000")), target, options));
    QTRY_COMPARE_WITH_TIMEOUT(completions.size(), 1, 30000);
    QTest::qWait(100);
    QCOMPARE(completions.size(), 1);
    QCOMPARE(completions.at(0).StatusCode, int(ReadCode::EndDownload));
    QVERIFY(completions.at(0).Data->commit(target));
    QCOMPARE(fileContents(target), SiteServer::pattern(777));
    QVERIFY(!service.CancelRead(target));
}

void TestDownloader::slowDownloadCanBeCancelledWithoutATrace()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Varnelpad"));
    writeFile(target, kOldProgram);
    Downloader engine;
    EventLog log(engine);
    engine.BeginDownload(server_->url(QStringLiteral("/t/slow?size=100000&chunk=200&delay=50")),
                         target);
    QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("progress")) >= 2, 30000);

    QVERIFY(engine.CancelAllDownload());
    QCOMPARE(engine.saveFiles(), QStringList{QString()});
    const int seen = log.lines.size();
    QTest::qWait(400); // the server keeps sending for a while: nothing may come of it
    QCOMPARE(log.lines.size(), seen);
    QCOMPARE(fileContents(target), kOldProgram);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("Varnelpad")});
}

void TestDownloader::destinationThatCannotBeWrittenIsAFailure()
{
    QTemporaryDir dir;
    // A folder that cannot exist (its parent is a file), and a destination
    // that is a folder: neither can take the download.
    writeFile(dir.filePath(QStringLiteral("plainfile")), "x");
    const QString noFolder = dir.filePath(QStringLiteral("plainfile/Varnelpad"));
    const QString isFolder = dir.filePath(QStringLiteral("Varnelpad"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Varnelpad")));
    writeFile(isFolder + QStringLiteral("/keep"), "kept");

    Downloader engine;
    EventLog log(engine);
    engine.BeginDownload(server_->url(QStringLiteral("/t/ok?size=1000")), noFolder);
    engine.BeginDownload(server_->url(QStringLiteral("/t/ok?size=2000")), isFolder);
    QTRY_VERIFY_WITH_TIMEOUT(log.finished(), 30000);

    QCOMPARE(log.count(QStringLiteral("complete")), 0);
    QCOMPARE(log.count(QStringLiteral("error")), 2);
    QCOMPARE(log.lines.last(), QStringLiteral("all [|%1|%2]").arg(noFolder, isFolder));
    QCOMPARE(fileContents(isFolder + QStringLiteral("/keep")), QByteArray("kept"));
    QCOMPARE(entries(dir.path()),
             (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("plainfile")}));
    QVERIFY2(engine.failureReason(noFolder).contains(QStringLiteral("文件夹不存在（")) &&
                 readsChinese(engine.failureReason(noFolder)),
             qPrintable(engine.failureReason(noFolder)));
    QVERIFY2(engine.failureReason(isFolder).contains(QStringLiteral("那里是一个文件夹（")) &&
                 readsChinese(engine.failureReason(isFolder)),
             qPrintable(engine.failureReason(isFolder)));
}

void TestDownloader::sameDestinationTwiceIsRefusedWhileRunning()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Varnelpad"));
    Downloader engine;
    EventLog log(engine);
    BoxAnswerer boxes;
    engine.BeginDownload(server_->url(QStringLiteral("/t/slow?size=3000&chunk=100&delay=100")),
                         target);
    engine.BeginDownload(server_->url(QStringLiteral("/t/ok?size=10")), target);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("错误"));
    QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::Critical);
    QVERIFY(boxes.boxes().at(0).text.startsWith(
        QStringLiteral("2:错误在调用 BeginDownload().\r\n\r\n错误描述: ")));
    QCOMPARE(engine.saveFiles(), (QStringList{QString(), target}));

    QTRY_VERIFY_WITH_TIMEOUT(log.finished(), 30000);
    QCOMPARE(log.lines.last(), QStringLiteral("all []"));
    QCOMPARE(fileContents(target), SiteServer::pattern(3000));

    // Once the first has ended the same destination may be fetched again.
    engine.BeginDownload(server_->url(QStringLiteral("/t/ok?size=10")), target);
    QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("all")) == 2, 30000);
    QCOMPARE(fileContents(target), SiteServer::pattern(10));
    QCOMPARE(boxes.boxes().size(), 1);
}

void TestDownloader::addressThatCannotBeReadShowsTheErrorBox()
{
    QTemporaryDir dir;
    Downloader engine;
    EventLog log(engine);
    BoxAnswerer boxes;
    engine.BeginDownload(QStringLiteral("ftp://127.0.0.1/file"), dir.filePath(QStringLiteral("a")));
    engine.BeginDownload(QStringLiteral("not an address"), dir.filePath(QStringLiteral("b")));
    QCOMPARE(boxes.texts().size(), 2);
    QVERIFY(boxes.texts().at(0).startsWith(QStringLiteral("1:错误在调用 BeginDownload().")));
    QVERIFY(boxes.texts().at(0).contains(QStringLiteral("ftp://127.0.0.1/file")));
    QCOMPARE(engine.saveFiles(), QStringList{QString()});
    QTest::qWait(100);
    QVERIFY(log.lines.isEmpty());
    QVERIFY(entries(dir.path()).isEmpty());
}

void TestDownloader::errorBoxTexts()
{
    QCOMPARE(Downloader::errorText(5, Downloader::Operation::BeginDownload, QStringLiteral("描述")),
             QStringLiteral("5:错误在调用 BeginDownload().\r\n\r\n错误描述: 描述"));
    QCOMPARE(Downloader::errorText(380, Downloader::Operation::SizeIt, QStringLiteral("x")),
             QString::fromUtf16(u"380:错误在调用\u3000SizeIt().\r\n\r\n错误描述: x"));
}

void TestDownloader::cancelWithNothingRunningChangesNothing()
{
    Downloader engine;
    EventLog log(engine);
    QVERIFY(engine.CancelAllDownload());
    QCOMPARE(engine.saveFiles(), QStringList{QString()});
    QCOMPARE(engine.fileStatus(), QList<quint8>{0});
    QVERIFY(log.lines.isEmpty());
}

void TestDownloader::smallFetchHasBounds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    QTest::newRow("small file") << "/t/ok?size=500" << QString();
    QTest::newRow("announced too large") << "/t/ok?size=20000"
                                         << "太大";
    QTest::newRow("unannounced too large") << "/t/ok?size=20000&unsized=1"
                                           << "太大";
    QTest::newRow("trickles past its deadline") << "/t/slow?size=5000&chunk=10&delay=200"
                                                << "2 秒内没有发完";
    QTest::newRow("hangs past its deadline") << "/t/hang"
                                             << "2 秒内没有发完";
}

void TestDownloader::smallFetchHasBounds()
{
    QFETCH(QString, path);
    QFETCH(QString, error);
    SmallFetch fetch(server_->url(path), 2000);
    QSignalSpy finished(&fetch, &SmallFetch::finished);
    QVERIFY(finished.wait(20000));
    QVERIFY2(fetch.error().contains(error), qPrintable(fetch.error()));
    QCOMPARE(fetch.body(), error.isEmpty() ? SiteServer::pattern(500) : QByteArray());
    QTest::qWait(100);
    QCOMPARE(finished.size(), 1);
}

// A test authority and a certificate for 127.0.0.1 are made here; the read
// fails while the authority is unknown and succeeds once it is trusted.
void TestDownloader::httpsNeedsACertificateThatChecksOut()
{
    QTemporaryDir work;
    const auto openssl = [&](const QStringList &arguments) {
        QProcess p;
        p.setWorkingDirectory(work.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), arguments);
        return p.waitForFinished(60000) && p.exitCode() == 0 ? QString()
                                                             : QString::fromUtf8(p.readAll());
    };
    const QString ext = work.filePath(QStringLiteral("ext.cnf"));
    writeFile(ext, "subjectAltName=IP:127.0.0.1\n");
    for (const QString &line :
         {QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Varnel-Test-CA "
                         "-keyout ca.key -out ca.pem"),
          QStringLiteral("req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout site.key "
                         "-out site.csr"),
          QStringLiteral("x509 -req -in site.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
                         "-extfile ext.cnf -out site.pem")})
        QCOMPARE(openssl(line.split(QLatin1Char(' '))), QString());
    SiteServer::Options options;
    options.tlsCert = work.filePath(QStringLiteral("site.pem"));
    options.tlsKey = work.filePath(QStringLiteral("site.key"));
    SiteServer tls(options);
    QVERIFY2(tls.ok(), qPrintable(tls.error()));
    const QString url = tls.tlsUrl(QStringLiteral("/t/ok?size=300000"));
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Varnelpad"));
    writeFile(target, kOldProgram);
    {
        Downloader engine;
        EventLog log(engine);
        engine.BeginDownload(url, target);
        QTRY_VERIFY_WITH_TIMEOUT(log.finished(), 30000);
        QVERIFY2(engine.failureReason(target).contains(QStringLiteral("证书不可信")),
                 qPrintable(engine.failureReason(target)));
        QVERIFY(readsChinese(engine.failureReason(target)));
        QCOMPARE(fileContents(target), kOldProgram);
    }
    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    trusting.addCaCertificates(work.filePath(QStringLiteral("ca.pem")));
    QSslConfiguration::setDefaultConfiguration(trusting);
    Downloader engine;
    EventLog log(engine);
    engine.BeginDownload(url, target);
    QTRY_VERIFY_WITH_TIMEOUT(log.finished(), 30000);
    QSslConfiguration::setDefaultConfiguration(before);
    QVERIFY2(engine.failureReason(target).isEmpty(), qPrintable(engine.failureReason(target)));
    QCOMPARE(fileContents(target), SiteServer::pattern(300000));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("Varnelpad")});
}

VARNEL_TEST_CLASS(TestDownloader);
#include "tst_downloader.moc"
