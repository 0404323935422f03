#include "e2eharness.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "provisioning.h"
#include "testfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QThread>

#include <sys/prctl.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <vector>

namespace
{

// What a journey starts ends with the test process, also when the test
// crashes or ctest kills it: a window manager, panel or program left behind
// would take over the X display of the tests after it.
void endWithTheTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool copyExecutable(const QString &from, const QString &to)
{
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Runs one data operation on the folder's database from the test process.
// The program may be saving at that moment: the test waits longer for the
// file than the program itself does.
template <typename Fn> auto withFolder(const QString &folder, Fn fn)
{
    varnel::ShutdownDb();
    varnel::setProgramFolder(folder);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            auto result = fn();
            varnel::ShutdownDb();
            varnel::setProgramFolder(QString());
            return result;
        } catch (const varnel::DbError &e) {
            const int code = e.sqliteCode() & 0xff;
            if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || waited.elapsed() > 20000)
                throw;
            QThread::msleep(50);
        }
    }
}

QString xprop(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xprop"), args);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString rootProperty(const char *name)
{
    return xprop({QStringLiteral("-root"), QLatin1String(name)});
}

} // namespace

E2eFolder::E2eFolder()
{
    QDir root(dir_.path());
    root.mkpath(QStringLiteral("xdg-config"));
    root.mkpath(QStringLiteral("xdg-runtime"));
    QFile::setPermissions(dir_.filePath(QStringLiteral("xdg-runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString built = QStringLiteral(VARNEL_BUILT_APP_DIR);
    ok_ = dir_.isValid() && copyExecutable(built + QStringLiteral("/Varnelpad"), program()) &&
          copyExecutable(built + QStringLiteral("/update"),
                         dir_.filePath(QStringLiteral("update"))) &&
          provisionProgramFolder(dir_.path());
}

E2eFolder::~E2eFolder() = default;

QProcessEnvironment E2eFolder::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("xdg-config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.filePath(QStringLiteral("xdg-runtime")));
    env.insert(QStringLiteral("PATH"), dir_.filePath(QStringLiteral("bin")) + QLatin1Char(':') +
                                           env.value(QStringLiteral("PATH")));
    env.insert(extra_);
    return env;
}

QVariant E2eFolder::scalar(const QString &sql, const QVariantList &params) const
{
    return withFolder(dir_.path(), [&]() {
        varnel::OpenDb();
        varnel::DbRs->Open(sql, *varnel::DbConn, varnel::RsMode::Read, params);
        const QVariant value = varnel::DbRs->Eof() ? QVariant() : varnel::DbRs->Field(0);
        varnel::CloseDb();
        return value;
    });
}

void E2eFolder::exec(const QString &sql, const QVariantList &params) const
{
    withFolder(dir_.path(), [&]() {
        varnel::OpenDb();
        varnel::DbConn->Execute(sql, params);
        varnel::CloseDb();
        return 0;
    });
}

RunningProgram::RunningProgram(const E2eFolder &folder, const QString &name,
                               const QString &platform)
{
    QProcessEnvironment env = folder.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setWorkingDirectory(folder.path());
    endWithTheTest(process_);
    process_.start(folder.path() + QLatin1Char('/') + name, {});
    process_.waitForStarted(10000);
}

RunningProgram::~RunningProgram()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool RunningProgram::waitForExit(int ms)
{
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms);
}

TrayHost::TrayHost()
{
    // Now and then, on a busy machine, a panel started right after the
    // previous test's one was killed never shows its window: it is started
    // once more, and what trayer said is kept in the test's log.
    for (int attempt = 0; attempt < 2 && !ok_; ++attempt) {
        if (attempt > 0) {
            qWarning("trayer did not show its panel (%s); starting it again",
                     process_.readAll().constData());
            process_.kill();
            process_.waitForFinished(5000);
        }
        process_.setProcessChannelMode(QProcess::MergedChannels);
        endWithTheTest(process_);
        process_.start(QStringLiteral("trayer"),
                       {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                        QStringLiteral("right"), QStringLiteral("--widthtype"),
                        QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24"),
                        QStringLiteral("--transparent"), QStringLiteral("false")});
        // trayer owns the tray selection once its window is up.
        ok_ = process_.waitForStarted(5000) &&
              !x11::waitForWindow(QStringLiteral("^panel$"), {}, 10000).isEmpty();
    }
}

TrayHost::~TrayHost()
{
    process_.kill();
    process_.waitForFinished(5000);
}

WindowManager::WindowManager()
{
    const QString rc = config_.filePath(QStringLiteral("rc.xml"));
    QFile file(rc);
    ok_ = file.open(QIODevice::WriteOnly) &&
          file.write("<?xml version=\"1.0\"?>\n"
                     "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                     "  <theme><titleLayout>IL</titleLayout></theme>\n"
                     "  <keyboard><keybind key=\"A-F4\"><action name=\"Close\"/></keybind>"
                     "</keyboard>\n"
                     "</openbox_config>\n") > 0;
    file.close();
    endWithTheTest(process_);
    process_.start(QStringLiteral("openbox"), {QStringLiteral("--config-file"), rc});
    ok_ = ok_ && process_.waitForStarted(5000);
    QElapsedTimer waited;
    waited.start();
    while (ok_ && !rootProperty("_NET_SUPPORTING_WM_CHECK").contains("window id")) {
        if (waited.elapsed() > 10000)
            ok_ = false;
        QTest::qWait(100);
    }
}

WindowManager::~WindowManager()
{
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

ScreenReader::ScreenReader() : oldAddress_(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
{
    endWithTheTest(bus_);
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--print-address=1")});
    if (!bus_.waitForStarted(5000))
        return;
    QElapsedTimer waited;
    waited.start();
    while (!bus_.canReadLine() && waited.elapsed() < 10000)
        bus_.waitForReadyRead(500);
    const QByteArray address = bus_.readLine().trimmed();
    if (address.isEmpty())
        return;
    // Programs started from now on inherit both.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    // A program looks for the accessibility bus once, when it starts, and
    // does not have it started on demand: it must be there first.
    // Its own socket folder, apart from any other launcher on the display.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    launcher_.setProcessEnvironment(env);
    endWithTheTest(launcher_);
    launcher_.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
                    {QStringLiteral("--launch-immediately")});
    ok_ = runtime_.isValid() && launcher_.waitForStarted(5000) && waitForName("org.a11y.Bus");
}

bool ScreenReader::waitForName(const char *name)
{
    QElapsedTimer waited;
    waited.start();
    do {
        QProcess ask;
        ask.start(QStringLiteral("dbus-send"),
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=org.freedesktop.DBus"),
                   QStringLiteral("/org/freedesktop/DBus"),
                   QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                   QStringLiteral("string:") + QLatin1String(name)});
        ask.waitForFinished(5000);
        if (ask.readAllStandardOutput().contains("boolean true"))
            return true;
        QThread::msleep(100);
    } while (waited.elapsed() < 10000);
    return false;
}

ScreenReader::~ScreenReader()
{
    if (oldAddress_.isNull())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", oldAddress_);
    qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
    for (QProcess *process : {&launcher_, &bus_}) {
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QStringList ScreenReader::labels(qint64 pid) const
{
    QProcess probe;
    probe.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(VARNEL_SOURCE_DIR "/tests/e2e/screentext.py"), QString::number(pid)});
    probe.waitForFinished(30000);
    return QString::fromUtf8(probe.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<ScreenReader::PlacedLabel> ScreenReader::placedLabels(qint64 pid) const
{
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(VARNEL_SOURCE_DIR "/tests/e2e/screentext.py"),
                 QStringLiteral("--extents"), QString::number(pid)});
    probe.waitForFinished(30000);
    QList<PlacedLabel> placed;
    const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("* "))) {
            const QStringList place = line.mid(2).split(QLatin1Char(' '));
            if (place.size() == 4)
                placed.append(
                    {QRect(place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt()),
                     QString()});
            continue;
        }
        const QStringList place = line.section(QLatin1Char('\t'), 0, 0).split(QLatin1Char(' '));
        if (place.size() == 4)
            placed.append(
                {QRect(place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt()),
                 line.section(QLatin1Char('\t'), 1)});
    }
    return placed;
}

namespace proc
{

namespace
{
QString procEntry(qint64 pid, const char *name)
{
    return QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name));
}

bool ended(qint64 pid)
{
    QFile status(procEntry(pid, "status"));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("State:"))
            return line.contains("zombie") || line.contains("dead");
    }
    return false;
}
} // namespace

QString executable(qint64 pid)
{
    return pid > 0 ? QFileInfo(procEntry(pid, "exe")).canonicalFilePath() : QString();
}

QString workingDirectory(qint64 pid)
{
    return pid > 0 ? QFileInfo(procEntry(pid, "cwd")).canonicalFilePath() : QString();
}

bool waitForEnd(qint64 pid, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!ended(pid)) {
        if (timer.elapsed() > ms)
            return false;
        QTest::qWait(100);
    }
    return true;
}

void killIfRunning(qint64 pid, const QString &program)
{
    if (pid <= 0 || ended(pid) || executable(pid) != QFileInfo(program).canonicalFilePath())
        return;
    ::kill(pid_t(pid), SIGKILL);
    waitForEnd(pid, 5000);
}

} // namespace proc

WaylandSession::WaylandSession()
{
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString log = runtime_.filePath(QStringLiteral("weston.log"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    const QRect out = output();
    endWithTheTest(process_);
    process_.start(
        QStringLiteral("weston"),
        {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--xwayland"),
         QStringLiteral("--use-pixman"), QStringLiteral("--idle-time=0"),
         QStringLiteral("--socket=varnel-test"), QStringLiteral("--width=%1").arg(out.width()),
         QStringLiteral("--height=%1").arg(out.height()), QStringLiteral("--log=") + log});
    if (!process_.waitForStarted(5000))
        return;
    // "xserver listening on display :N"
    const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
    QElapsedTimer waited;
    waited.start();
    while (display_.isEmpty() && waited.elapsed() < 15000) {
        QTest::qWait(100);
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(fileContents(log)));
        if (match.hasMatch())
            display_ = match.captured(1);
    }
}

WaylandSession::~WaylandSession()
{
    process_.terminate(); // takes XWayland and its clients along
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

namespace x11
{

UseDisplay::UseDisplay(const QString &display) : previous_(qgetenv("DISPLAY"))
{
    qputenv("DISPLAY", display.toLocal8Bit());
}

UseDisplay::~UseDisplay()
{
    qputenv("DISPLAY", previous_);
}

QPoint pointer()
{
    // "x:12 y:34 screen:0 window:5678"
    const QStringList parts = xdotool({QStringLiteral("getmouselocation")}).split(QLatin1Char(' '));
    return QPoint(parts.value(0).section(QLatin1Char(':'), 1).toInt(),
                  parts.value(1).section(QLatin1Char(':'), 1).toInt());
}

QString xdotool(const QStringList &args, int *exitCode)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(15000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QStringList windows(const QString &titleRegex)
{
    const QString out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--name"), titleRegex});
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

QRect geometry(const QString &window)
{
    const QString out =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    QRect rect;
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const QString value = line.section(QLatin1Char('='), 1);
        if (line.startsWith(QStringLiteral("X=")))
            rect.moveLeft(value.toInt());
        else if (line.startsWith(QStringLiteral("Y=")))
            rect.moveTop(value.toInt());
        else if (line.startsWith(QStringLiteral("WIDTH=")))
            rect.setWidth(value.toInt());
        else if (line.startsWith(QStringLiteral("HEIGHT=")))
            rect.setHeight(value.toInt());
    }
    return rect;
}

namespace
{
QString findWindow(const QString &titleRegex, QSize size)
{
    for (const QString &window : windows(titleRegex)) {
        if (!size.isValid() || geometry(window).size() == size)
            return window;
    }
    return QString();
}
} // namespace

QString waitForWindow(const QString &titleRegex, QSize size, int ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        const QString window = findWindow(titleRegex, size);
        if (!window.isEmpty())
            return window;
        QTest::qWait(100);
    } while (timer.elapsed() < ms);
    return QString();
}

bool waitForNoWindow(const QString &titleRegex, QSize size, int ms)
{
    QElapsedTimer timer;
    timer.start();
    do {
        if (findWindow(titleRegex, size).isEmpty())
            return true;
        QTest::qWait(100);
    } while (timer.elapsed() < ms);
    return false;
}

void click(const QString &window, QPoint at, int button)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
             QString::number(at.x()), QString::number(at.y())});
    QTest::qWait(50);
    xdotool({QStringLiteral("click"), QString::number(button)});
    QTest::qWait(100);
}

void key(const QString &chord)
{
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), chord});
    QTest::qWait(100);
}

void typeText(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
    QTest::qWait(100);
}

void focus(const QString &window)
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
}

QImage grab(const QString &window)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(WId(window.toULongLong())).toImage() : QImage();
}

namespace
{
int titleBarHeight(const QString &window)
{
    // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const QStringList extents =
        xprop({QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")})
            .section(QLatin1Char('='), 1)
            .split(QLatin1Char(','));
    return extents.size() == 4 ? extents.value(2).trimmed().toInt() : 0;
}

bool offScreen(const QString &window)
{
    QProcess p;
    p.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    p.waitForFinished(5000);
    // A window already destroyed counts as gone as well.
    return !QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("IsViewable"));
}
} // namespace

bool pressIconify(const QString &window)
{
    // The manager sets the extents once it has framed the window; a press
    // before that lands beside the button, on a busy machine too.
    int top = 0;
    if (!QTest::qWaitFor([&] { return (top = titleBarHeight(window)) > 0; }, 10000))
        return false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                 QStringLiteral("--"), QString::number(std::max(top / 2 - 1, 4)),
                 QString::number(-std::max(top / 2, 4))});
        QTest::qWait(50);
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
        // A press that missed leaves the window as it was: press again, as a
        // person would. One that took hides the window whatever the program does.
        if (QTest::qWaitFor([&] { return offScreen(window); }, 3000))
            return true;
    }
    return false;
}

qint64 windowPid(const QString &window)
{
    int exitCode = 1;
    const QString out = xdotool({QStringLiteral("getwindowpid"), window}, &exitCode);
    return exitCode == 0 ? out.toLongLong() : 0;
}

SpareKeys::SpareKeys(const QString &text) : connection_(xcb_connect(nullptr, nullptr))
{
    if (xcb_connection_has_error(connection_))
        return;
    const xcb_setup_t *setup = xcb_get_setup(connection_);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    xcb_get_keyboard_mapping_reply_t *map = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, quint8(count)),
        nullptr);
    if (!map)
        return;
    perKey_ = map->keysyms_per_keycode;
    const xcb_keysym_t *symbols = xcb_get_keyboard_mapping_keysyms(map);
    QList<uint> wanted;
    for (const uint c : text.toUcs4())
        if (c > 0x7E && !wanted.contains(c))
            wanted.append(c);
    for (int key = 0; key < count && !wanted.isEmpty(); ++key) {
        const xcb_keysym_t *row = symbols + key * perKey_;
        if (std::any_of(row, row + perKey_, [](xcb_keysym_t s) { return s != 0; }))
            continue;
        const uint c = wanted.takeFirst();
        const std::vector<xcb_keysym_t> pinned(perKey_, c < 0x100 ? c : 0x01000000 | c);
        xcb_change_keyboard_mapping(connection_, 1, quint8(first + key), perKey_, pinned.data());
        keys_.append(quint8(first + key));
    }
    std::free(map);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    QTest::qWait(200); // the programs on the display take in the new map
    ok_ = wanted.isEmpty();
}

SpareKeys::~SpareKeys()
{
    const std::vector<xcb_keysym_t> empty(perKey_, 0);
    for (const quint8 key : std::as_const(keys_))
        xcb_change_keyboard_mapping(connection_, 1, key, perKey_, empty.data());
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    xcb_disconnect(connection_);
}

} // namespace x11
