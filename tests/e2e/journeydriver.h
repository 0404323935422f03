#pragma once

#include "e2eharness.h"

#include <QPoint>
#include <QSize>

// Where the controls of the windows sit (their design places, in pixels of
// the client area) and the few steps every journey repeats.
namespace journey
{

inline const QString kTitle = QStringLiteral("^Varnelpad v1\\.1\\.2$");
inline const QSize kMainSize(455, 418);

namespace mainwin
{
// Text2 is clicked off its centre: the "saved" bubble covers the centre for a second.
inline const QPoint Text1(180, 51), Text2(380, 90), cmd_add(28, 114), cmd_edit(28, 138),
    cmd_del(28, 162), cmd_ok(113, 218), cmd_out(217, 218), cmdALL(272, 218), txtCZ(400, 219),
    update(28, 338), RePw(28, 362), Lab_hide(428, 11), trvRoot(100, 248);
inline const QRect ListIcons(162, 262, 20, 140), TreeArea(57, 241, 95, 140);
// The help / notice line, and the update box with its text and buttons as
// they sit once "升级" has opened the box.
inline const QRect lab_key(56, 401, 268, 16), UpdateBox(16, 40, 425, 353), Text7(26, 70, 405, 281);
inline const QPoint UpdateNow(291, 371), Later_update(381, 371);
} // namespace mainwin

namespace updatewin
{
inline const QString kTitle = QStringLiteral("^Varnel升级 v1\\.0\\.14更新$");
inline const QPoint cmdDownload(63, 216);
} // namespace updatewin

namespace settings
{
inline const QPoint txtXMM(136, 19), txtQDMM(136, 51), cmdQDXG(108, 84), autostartBox(89, 119);
}

// The login window: the one titled like the program that is not the main window.
QString waitForLogin(int ms = 20000);
QString waitForMain(int ms = 20000);
// Presses Enter in the login window (empty password) and waits for the main
// window; empty when either does not come.
QString loginWithEmptyPassword();
bool mainIsGone(int ms = 20000);
// Ends the program the way the user does: 退出Varnel in its tray icon's menu
// (the tray host's panel must be up). False when it does not end.
bool quitFromTray(RunningProgram &program);

// Answers the next message box titled `title` by pressing `key` (Return, or
// y for Yes); returns false when none came or it stayed.
bool answerBox(const QString &title, const QString &key = QStringLiteral("Return"), int ms = 20000);

void typeInto(const QString &window, QPoint at, const QString &text);

// A fake desktop opener in the folder: records what Varnelpad asked to open
// in bin/opened.txt.
void installOpener(const E2eFolder &folder);

// The list's pictures from top to bottom: 'R' pending (red), 'B' done (blue),
// with the y of each row's centre in the window.
struct Mark {
    char colour;
    int y;
};
QList<Mark> listMarks(const QString &mainWindow);
// The y of the tree rows that carry the red category picture.
QList<int> categoryRows(const QString &mainWindow);

// Waits until the notice line changes on the screen: the notice page has
// arrived and its lines rotate. False when it stays as it is.
bool waitForNotices(const QString &mainWindow, int ms = 30000);
// Whether the update box is open over the main window.
bool updateBoxShown(const QString &mainWindow);
// How many pixels of `area` are dark enough to be text.
int textPixels(const QString &window, const QRect &area);

// The picture of a message box: the yellow warning triangle or the red
// critical circle.
enum class BoxIcon { None, Warning, Critical };
BoxIcon boxIcon(const QString &box);

} // namespace journey
