// The engine's bookkeeping of a batch, driven by a scripted read service.

#include "bodycheck.h"
#include "boxanswerer.h"
#include "downloader.h"
#include "signedpayload.h"
#include "stagedfile.h"
#include "testfolder.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// A read service whose notifications the test sends by hand.
class ScriptedService : public ReadService
{
  public:
    std::optional<ReadStartError> StartRead(const QString &target, const QString &key,
                                            const AsyncReadOptions &options) override
    {
        started << key;
        stagedBeside << options.stageBeside;
        if (target == QLatin1String("refuse"))
            return ReadStartError{42, QStringLiteral("不行")};
        return std::nullopt;
    }
    bool CancelRead(const QString &key) override
    {
        cancelled << key;
        return true;
    }

    void progress(const QString &key, qint64 cur, qint64 max, int code)
    {
        ReadState s;
        s.Key = key;
        s.BytesRead = cur;
        s.BytesMax = max;
        s.StatusCode = code;
        emit ReadProgress(s);
    }
    void complete(const QString &key, int code, const QByteArray &body = {})
    {
        ReadState s;
        s.Key = key;
        s.StatusCode = code;
        s.BytesMax = body.size();
        if (code == ReadCode::EndDownload) {
            s.Data = std::make_shared<StagedFile>(key);
            s.Data->write(body);
        }
        emit ReadComplete(s);
    }

    QStringList started, stagedBeside, cancelled;
};

// A check that refuses bodies holding "bad" and answers at once or when
// told to.
class FakeCheck : public BodyCheck
{
  public:
    explicit FakeCheck(bool later) : later_(later) {}
    void check(StagedFile &body, Verdict verdict) override
    {
        body.device().seek(0);
        refusal_ = body.device().readAll() == "bad" ? QStringLiteral("不对") : QString();
        verdict_ = std::move(verdict);
        if (!later_)
            answer();
    }
    void answer()
    {
        const Verdict verdict = std::move(verdict_);
        verdict_ = nullptr;
        verdict(refusal_);
    }
    bool asked() const { return bool(verdict_); }

  private:
    bool later_;
    QString refusal_;
    Verdict verdict_;
};

struct Fixture {
    Fixture() : service(new ScriptedService), engine(service, nullptr)
    {
        QObject::connect(&engine, &Downloader::DownloadProgress,
                         [this](qint64 c, qint64 m, const QString &f) {
                             events << QStringLiteral("progress %1/%2 %3").arg(c).arg(m).arg(f);
                         });
        QObject::connect(&engine, &Downloader::DownloadError,
                         [this](const QString &f) { events << QStringLiteral("error ") + f; });
        QObject::connect(&engine, &Downloader::DownloadComplete,
                         [this](qint64 m, const QString &f) {
                             events << QStringLiteral("complete %1 %2").arg(m).arg(f);
                         });
        QObject::connect(&engine, &Downloader::DownloadAllComplete, [this](const QStringList &l) {
            allComplete << l;
            events << QStringLiteral("all");
        });
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    ScriptedService *service;
    Downloader engine;
    QStringList events;
    QList<QStringList> allComplete;
};

} // namespace

class TestDownloadBatch : public QObject
{
    Q_OBJECT

  private slots:
    void oneSucceedsOneFailsThenTheBatchEnds();
    void failedDownloadCountsAsFinished();
    void otherCompletionCodeBlocksTheBatch();
    void unknownKeyStillChecksTheBatch();
    void progressWithoutSizeIsSilentButAnErrorEndsTheDownload();
    void sameKeyAgainUpdatesTheRunningEntry();
    void refusedStartRecordsNothing();
    void bodyIsStagedBesideItsDestination();
    void checkDecidesBeforeTheFileIsWritten_data();
    void checkDecidesBeforeTheFileIsWritten();
    void cancelWhileACheckIsPendingLeavesNoTrace();
};

void TestDownloadBatch::oneSucceedsOneFailsThenTheBatchEnds()
{
    Fixture f;
    const QString a = f.path(QStringLiteral("a")), b = f.path(QStringLiteral("b"));
    f.engine.BeginDownload(QStringLiteral("http://x/a"), a);
    f.engine.BeginDownload(QStringLiteral("http://x/b"), b);
    QCOMPARE(f.engine.fileStatus(), (QList<quint8>{0, 255, 255}));

    f.service->progress(a, 5, 10, ReadCode::Downloading);
    f.service->complete(b, ReadCode::Error);
    QCOMPARE(f.engine.fileStatus(), (QList<quint8>{0, 255, 0}));
    QVERIFY(f.allComplete.isEmpty());
    f.service->complete(a, ReadCode::EndDownload, "0123456789");

    QCOMPARE(f.events,
             (QStringList{QStringLiteral("progress 5/10 ") + a, QStringLiteral("error ") + b,
                          QStringLiteral("complete 10 ") + a, QStringLiteral("all")}));
    QCOMPARE(f.allComplete, (QList<QStringList>{{QString(), b}}));
    QCOMPARE(f.engine.saveFiles(), QStringList{QString()});
    QCOMPARE(f.engine.fileStatus(), QList<quint8>{0});
    QFile saved(a);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("0123456789"));
    // Every read is let go when the batch ends.
    QVERIFY(f.service->cancelled.contains(a) && f.service->cancelled.contains(b));
}

void TestDownloadBatch::failedDownloadCountsAsFinished()
{
    Fixture f;
    f.engine.BeginDownload(QStringLiteral("http://x/a"), f.path(QStringLiteral("a")));
    f.service->complete(f.path(QStringLiteral("a")), ReadCode::Error);
    QCOMPARE(f.allComplete, (QList<QStringList>{{QString(), f.path(QStringLiteral("a"))}}));
}

void TestDownloadBatch::otherCompletionCodeBlocksTheBatch()
{
    Fixture f;
    const QString a = f.path(QStringLiteral("a")), b = f.path(QStringLiteral("b"));
    f.engine.BeginDownload(QStringLiteral("http://x/a"), a);
    f.engine.BeginDownload(QStringLiteral("http://x/b"), b);
    f.service->complete(a, ReadCode::BeginDownload);
    f.service->complete(b, ReadCode::EndDownload, "b");
    QCOMPARE(f.engine.fileStatus(), (QList<quint8>{0, 4, 6}));
    QVERIFY(f.allComplete.isEmpty());
    QVERIFY(f.engine.CancelAllDownload());
    QCOMPARE(f.engine.saveFiles(), QStringList{QString()});
}

void TestDownloadBatch::unknownKeyStillChecksTheBatch()
{
    Fixture f;
    // Nothing started: the empty batch counts as complete at once.
    f.service->complete(QStringLiteral("/nowhere"), ReadCode::Error);
    QCOMPARE(f.allComplete, (QList<QStringList>{{QString()}}));

    // With a download running, a stray key changes nothing.
    f.allComplete.clear();
    f.engine.BeginDownload(QStringLiteral("http://x/a"), f.path(QStringLiteral("a")));
    f.service->complete(QStringLiteral("/nowhere"), ReadCode::Error);
    QCOMPARE(f.engine.fileStatus(), (QList<quint8>{0, 255}));
    QVERIFY(f.allComplete.isEmpty());
}

void TestDownloadBatch::progressWithoutSizeIsSilentButAnErrorEndsTheDownload()
{
    Fixture f;
    const QString a = f.path(QStringLiteral("a"));
    f.engine.BeginDownload(QStringLiteral("http://x/a"), a);
    f.service->progress(a, 100, 0, ReadCode::Downloading);
    QVERIFY(f.events.isEmpty());
    f.service->progress(a, 0, 0, ReadCode::Error);
    QVERIFY(f.service->cancelled.contains(a));
    QCOMPARE(f.events, (QStringList{QStringLiteral("error ") + a, QStringLiteral("all")}));
    QCOMPARE(f.allComplete, (QList<QStringList>{{QString(), a}}));
}

void TestDownloadBatch::sameKeyAgainUpdatesTheRunningEntry()
{
    Fixture f;
    const QString a = f.path(QStringLiteral("a")), b = f.path(QStringLiteral("b"));
    f.engine.BeginDownload(QStringLiteral("http://x/a"), a);
    f.engine.BeginDownload(QStringLiteral("http://x/b"), b);
    f.service->complete(a, ReadCode::EndDownload, "1");
    f.engine.BeginDownload(QStringLiteral("http://x/a2"), a);
    f.service->complete(a, ReadCode::EndDownload, "2");
    QCOMPARE(f.engine.fileStatus(), (QList<quint8>{0, 6, 255, 6}));
    f.service->complete(b, ReadCode::EndDownload, "b");
    QCOMPARE(f.allComplete, (QList<QStringList>{{QString()}}));
}

void TestDownloadBatch::refusedStartRecordsNothing()
{
    Fixture f;
    BoxAnswerer boxes;
    f.engine.BeginDownload(QStringLiteral("refuse"), f.path(QStringLiteral("a")));
    QCOMPARE(boxes.texts(),
             QStringList{QStringLiteral("42:错误在调用 BeginDownload().\r\n\r\n错误描述: 不行")});
    QCOMPARE(f.engine.saveFiles(), QStringList{QString()});
    QVERIFY(f.events.isEmpty());
}

void TestDownloadBatch::bodyIsStagedBesideItsDestination()
{
    Fixture f;
    const QString a = f.path(QStringLiteral("a"));
    f.engine.BeginDownload(QStringLiteral("http://x/a"), a);
    AsyncReadOptions options;
    options.stageBeside = QStringLiteral("/elsewhere/x");
    f.engine.BeginDownload(QStringLiteral("http://x/b"), f.path(QStringLiteral("b")), options);
    QCOMPARE(f.service->stagedBeside, (QStringList{a, QStringLiteral("/elsewhere/x")}));
}

void TestDownloadBatch::checkDecidesBeforeTheFileIsWritten_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("later");
    QTest::newRow("accepted at once") << QByteArray("good") << false;
    QTest::newRow("accepted later") << QByteArray("good") << true;
    QTest::newRow("refused at once") << QByteArray("bad") << false;
    QTest::newRow("refused later") << QByteArray("bad") << true;
}

void TestDownloadBatch::checkDecidesBeforeTheFileIsWritten()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, later);
    Fixture f;
    const QString a = f.path(QStringLiteral("a"));
    QVERIFY(payload::writeFile(a, "old"));
    auto check = std::make_shared<FakeCheck>(later);
    AsyncReadOptions options;
    options.check = check;
    QVERIFY(f.engine.BeginDownload(QStringLiteral("http://x/a"), a, options));
    f.service->complete(a, ReadCode::EndDownload, body);
    if (later) {
        // Nothing is written or reported while the check has not spoken.
        QVERIFY(check->asked());
        QVERIFY(f.events.isEmpty());
        QCOMPARE(f.engine.fileStatus(), (QList<quint8>{0, 255}));
        QCOMPARE(fileContents(a), QByteArray("old"));
        check->answer();
    }
    const bool accepted = body != "bad";
    QCOMPARE(f.events, (QStringList{(accepted ? QStringLiteral("complete %1 ").arg(body.size())
                                              : QStringLiteral("error ")) +
                                        a,
                                    QStringLiteral("all")}));
    QCOMPARE(fileContents(a), accepted ? body : QByteArray("old"));
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a"});
    QCOMPARE(f.engine.failureReason(a), accepted ? QString() : QStringLiteral("不对"));
}

void TestDownloadBatch::cancelWhileACheckIsPendingLeavesNoTrace()
{
    Fixture f;
    const QString a = f.path(QStringLiteral("a"));
    auto check = std::make_shared<FakeCheck>(true);
    AsyncReadOptions options;
    options.check = check;
    f.engine.BeginDownload(QStringLiteral("http://x/a"), a, options);
    f.service->complete(a, ReadCode::EndDownload, "good");
    QVERIFY(f.engine.CancelAllDownload());
    check->answer(); // too late: the download is gone
    QVERIFY(f.events.isEmpty());
    QVERIFY(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

VARNEL_TEST_CLASS(TestDownloadBatch);
#include "tst_downloadbatch.moc"
