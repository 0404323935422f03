// The update as a user goes through it with the real programs: Varnelpad's
// update box starts `update` from the program folder and ends, `update`
// fetches the new Varnelpad from the site served on the built-in address and
// writes it over the old one. The site is the demo site server; what it
// serves as the new program is a real build of Varnelpad with bytes appended,
// so it runs and can be told apart from the old file byte for byte, signed
// with the demo key as the demo site signs it.

#include "e2eharness.h"
#include "journeydriver.h"
#include "siteserver.h"
#include "testfolder.h"
#include "testmain.h"
#include "varnel_config.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <functional>
#include <memory>

using namespace journey;

namespace
{

const QString kNoticePage = QStringLiteral("/update.asp");
const QString kDownload = QStringLiteral("/update/vlbook.exe");

QString builtProgram()
{
    return QStringLiteral(VARNEL_BUILT_APP_DIR "/Varnelpad");
}

QStringList topLevelFiles(const E2eFolder &folder)
{
    return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The width of the tray host's panel: it grows by an icon when one docks.
int panelWidth()
{
    const QString panel = x11::waitForWindow(QStringLiteral("^panel$"), {}, 5000);
    return panel.isEmpty() ? -1 : x11::geometry(panel).width();
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(100);
    }
    return true;
}

const QString kCongratulation = QStringLiteral("^Varnel升级$"); // "恭喜你，升级完成！"
const QString kEndBox = QStringLiteral("^Varnel提示$");

// The first of the updater's closing boxes: the congratulation or the end box.
QString waitForClosingBox(int ms = 60000)
{
    QString box;
    waitFor(
        [&] {
            box = x11::windows(kCongratulation).value(0);
            if (box.isEmpty())
                box = x11::windows(kEndBox).value(0);
            return !box.isEmpty();
        },
        ms);
    return box;
}

bool isCongratulation(const QString &box)
{
    return x11::windows(kCongratulation).contains(box);
}

// Kills an `update` left behind by a journey that failed half-way; it is
// not a child of the test, so nothing else would.
struct StrayUpdater {
    QString program;
    qint64 pid = 0;
    ~StrayUpdater() { proc::killIfRunning(pid, program); }
};

} // namespace

class JourneyUpdate : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void updateInstallsTheServedProgram();
    void failedDownloadKeepsTheOldProgram();
    void sameVersionNeedsNoUpdate();
    void unreplaceableProgramIsNotCongratulated();

  private:
    QString openUpdateBox(RunningProgram &program);
    bool pressUpdateNow(const QString &main, const std::function<bool()> &tookEffect);
    QString waitForUpdater(const E2eFolder &folder, StrayUpdater &stray);

    QTemporaryDir work_;
    QString payload_;
    std::unique_ptr<SiteServer> site_;
};

void JourneyUpdate::initTestCase()
{
    if (QByteArray(VARNEL_UPDATE_PUBKEY) != SiteServer::demoPublicKey())
        QSKIP("built with a release key: the demo site's signatures do not hold");
    QVERIFY(work_.isValid());
    // The new program: the build's Varnelpad with a tail, which an ELF
    // program file carries along without noticing.
    QByteArray program = fileContents(builtProgram());
    QVERIFY(!program.isEmpty());
    program += QByteArrayLiteral("\nVarnelpad journey payload\n");
    for (int i = 0; i < 65536; ++i)
        program += char(i * 131 % 251);
    payload_ = work_.filePath(QStringLiteral("vlbook.exe"));
    QFile file(payload_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(program), program.size());
    file.close();
    QVERIFY(fileContents(payload_) != fileContents(builtProgram()));

    // The programs use the address built into them; another run may still
    // hold that port for a while.
    SiteServer::Options options;
    options.port = QUrl(QStringLiteral(VARNEL_SITE_URL)).port(80);
    options.download = payload_;
    options.signKey = SiteServer::demoSecretKey(); // as the demo site signs
    options.idleSeconds = 600;
    const QDeadlineTimer deadline(60000);
    do {
        site_ = std::make_unique<SiteServer>(options);
        if (site_->ok())
            break;
        QTest::qWait(1000);
    } while (!deadline.hasExpired());
    QVERIFY2(site_->ok(), qPrintable(QStringLiteral("the site port %1 stays busy: %2")
                                         .arg(options.port)
                                         .arg(site_->error())));
}

void JourneyUpdate::init()
{
    QVERIFY(site_->reset());
}

// Logs in, waits for the notice page and opens the update box: the box
// shows the page's update text, and the page is loaded anew.
QString JourneyUpdate::openUpdateBox(RunningProgram &program)
{
    const QString main = loginWithEmptyPassword();
    if (main.isEmpty() || !program.isRunning())
        return QString();
    if (!waitFor([this] { return site_->hits(kNoticePage) >= 1; }, 30000) ||
        !waitForNotices(main)) {
        qWarning("the notice line never changed: no notice page");
        return QString();
    }
    const int pageLoads = site_->hits(kNoticePage);
    x11::click(main, mainwin::update);
    if (!waitFor([&] { return updateBoxShown(main); }, 10000)) {
        qWarning("the update box did not open");
        return QString();
    }
    const QRect text = mainwin::Text7.adjusted(4, 4, -20, -4);
    if (!waitFor([&] { return textPixels(main, text) > 50; }, 10000)) {
        qWarning("the update box shows no update text");
        return QString();
    }
    if (!waitFor([&] { return site_->hits(kNoticePage) > pageLoads; }, 20000)) {
        qWarning("opening the update box did not load the notice page again");
        return QString();
    }
    return main;
}

// "马上升级" does nothing until the page that opening the box reloads is
// back, so a click without effect is repeated, as a user would.
bool JourneyUpdate::pressUpdateNow(const QString &main, const std::function<bool()> &tookEffect)
{
    for (int attempt = 0; attempt < 6; ++attempt) {
        x11::click(main, mainwin::UpdateNow);
        if (waitFor(tookEffect, 5000))
            return true;
    }
    return false;
}

// The window of the `update` the notebook started, checked to be the program
// of the folder, running in it.
QString JourneyUpdate::waitForUpdater(const E2eFolder &folder, StrayUpdater &stray)
{
    const QString window = x11::waitForWindow(updatewin::kTitle, {}, 30000);
    if (window.isEmpty())
        return QString();
    stray.program = folder.path() + QStringLiteral("/update");
    stray.pid = x11::windowPid(window);
    const QString expected = QFileInfo(stray.program).canonicalFilePath();
    if (proc::executable(stray.pid) != expected ||
        proc::workingDirectory(stray.pid) != QFileInfo(folder.path()).canonicalFilePath()) {
        qWarning("the update window belongs to %s in %s, not to %s",
                 qPrintable(proc::executable(stray.pid)),
                 qPrintable(proc::workingDirectory(stray.pid)), qPrintable(expected));
        return QString();
    }
    return window;
}

void JourneyUpdate::updateInstallsTheServedProgram()
{
    TrayHost tray;
    QVERIFY(tray.ok());
    const int emptyPanel = panelWidth();
    E2eFolder folder;
    QVERIFY(folder.ok());
    RunningProgram program(folder);
    const QString main = openUpdateBox(program);
    QVERIFY2(!main.isEmpty(), "the update box with the update text did not come up");
    QVERIFY2(panelWidth() > emptyPanel, "no tray icon while Varnelpad runs");

    StrayUpdater stray;
    QVERIFY2(pressUpdateNow(main, [&] { return !program.isRunning(); }),
             "马上升级 did not end Varnelpad");
    QVERIFY(program.waitForExit(20000));
    QCOMPARE(program.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(panelWidth(), emptyPanel, 10000);
    QVERIFY(x11::xdotool(
                {QStringLiteral("search"), QStringLiteral("--class"), QStringLiteral("Varnelpad")})
                .isEmpty());

    const QString updater = waitForUpdater(folder, stray);
    QVERIFY2(!updater.isEmpty(), "update did not start from the program folder");
    QCOMPARE(site_->hits(kDownload), 0); // it waits for the user
    x11::click(updater, updatewin::cmdDownload);
    QVERIFY2(answerBox(QStringLiteral("Varnel升级"), QStringLiteral("Return"), 60000),
             "no 恭喜你，升级完成！ box");
    const QString end = x11::waitForWindow(QStringLiteral("^Varnel提示$"), {}, 30000);
    QVERIFY2(!end.isEmpty(), "no end box");
    QCOMPARE(boxIcon(end), BoxIcon::Warning); // "Varnel升级完毕"
    QVERIFY(answerBox(QStringLiteral("Varnel提示")));
    QVERIFY2(proc::waitForEnd(stray.pid), "update did not end after its last box");
    QVERIFY(x11::waitForNoWindow(updatewin::kTitle));
    QCOMPARE(site_->hits(kDownload), 1);

    const QString installed = folder.program();
    QVERIFY2(fileContents(installed) == fileContents(payload_),
             "the program file is not the served one");
    QVERIFY(QFileInfo(installed).isExecutable());
    QCOMPARE(topLevelFiles(folder),
             (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
    RunningProgram updated(folder);
    QVERIFY2(!waitForLogin().isEmpty(), "the new Varnelpad does not start");
    QVERIFY(updated.isRunning());
}

void JourneyUpdate::failedDownloadKeepsTheOldProgram()
{
    QVERIFY(site_->setFault(kDownload, QStringLiteral("404")));
    TrayHost tray;
    QVERIFY(tray.ok());
    E2eFolder folder;
    QVERIFY(folder.ok());
    const QByteArray old = fileContents(folder.program());
    QCOMPARE(old, fileContents(builtProgram()));
    RunningProgram program(folder);
    const QString main = openUpdateBox(program);
    QVERIFY2(!main.isEmpty(), "the update box with the update text did not come up");

    StrayUpdater stray;
    QVERIFY2(pressUpdateNow(main, [&] { return !program.isRunning(); }),
             "马上升级 did not end Varnelpad");
    const QString updater = waitForUpdater(folder, stray);
    QVERIFY2(!updater.isEmpty(), "update did not start from the program folder");
    x11::click(updater, updatewin::cmdDownload);

    const QString end = waitForClosingBox();
    QVERIFY2(!end.isEmpty(), "no end box after the failed download");
    QVERIFY2(!isCongratulation(end), "a failed download was congratulated");
    QCOMPARE(boxIcon(end), BoxIcon::Critical); // the failure, not "Varnel升级完毕"
    QVERIFY(answerBox(QStringLiteral("Varnel提示")));
    QVERIFY2(proc::waitForEnd(stray.pid), "update did not end after its last box");
    QCOMPARE(site_->hits(kDownload), 1);

    QVERIFY2(fileContents(folder.program()) == old, "the old program file was changed");
    QVERIFY(QFileInfo(folder.program()).isExecutable());
    QCOMPARE(topLevelFiles(folder),
             (QStringList{QStringLiteral("Varnelpad"), QStringLiteral("update")}));
    RunningProgram again(folder);
    QVERIFY2(!waitForLogin().isEmpty(), "the old Varnelpad does not start any more");
}

void JourneyUpdate::sameVersionNeedsNoUpdate()
{
    QVERIFY(site_->setFormValue(kNoticePage, QStringLiteral("ver"), QStringLiteral("112")));
    TrayHost tray;
    QVERIFY(tray.ok());
    E2eFolder folder;
    QVERIFY(folder.ok());
    RunningProgram program(folder);
    const QString main = openUpdateBox(program);
    QVERIFY2(!main.isEmpty(), "the update box with the update text did not come up");

    const QString hint = QStringLiteral("^Varnel提示$");
    QVERIFY2(pressUpdateNow(main, [&] { return !x11::windows(hint).isEmpty(); }),
             "马上升级 said nothing about the version");
    QVERIFY(answerBox(QStringLiteral("Varnel提示"))); // "Varnel已经是最高版本,此时不需要升级"
    QVERIFY(program.isRunning());
    QVERIFY(x11::windows(updatewin::kTitle).isEmpty());
    QCOMPARE(site_->hits(kDownload), 0);
    QVERIFY2(updateBoxShown(main), "the update box closed with the message");

    x11::click(main, mainwin::Later_update);
    QTRY_VERIFY_WITH_TIMEOUT(!updateBoxShown(main), 10000);
    QVERIFY(program.isRunning());
    QCOMPARE(waitForMain(1000), main);
}

// The download arrives but cannot take the program's place (here a folder
// stands where the program file belongs): the user, who started `update`
// from the program folder, is told that it failed and nothing changes.
void JourneyUpdate::unreplaceableProgramIsNotCongratulated()
{
    E2eFolder folder;
    QVERIFY(folder.ok());
    QVERIFY(QFile::remove(folder.program()));
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("Varnelpad/keep")));
    RunningProgram update(folder, QStringLiteral("update"));
    const QString updater = x11::waitForWindow(updatewin::kTitle, {}, 30000);
    QVERIFY(!updater.isEmpty());
    x11::click(updater, updatewin::cmdDownload);

    QString box = waitForClosingBox();
    QVERIFY2(!box.isEmpty(), "no box after the download");
    QVERIFY2(!isCongratulation(box), "a program file that was not replaced was congratulated");
    QCOMPARE(boxIcon(box), BoxIcon::Critical);
    QVERIFY(answerBox(QStringLiteral("Varnel提示")));
    QVERIFY(update.waitForExit(20000));
    QCOMPARE(site_->hits(kDownload), 1);
    QVERIFY(QFileInfo(folder.program()).isDir());
    QVERIFY(QFile::exists(folder.program() + QStringLiteral("/keep")));
    QCOMPARE(topLevelFiles(folder), QStringList{QStringLiteral("update")});
}

VARNEL_TEST_CLASS(JourneyUpdate);

#include "tst_updatejourney.moc"
