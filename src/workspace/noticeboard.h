#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class ClickLabel;
class NoticePage;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

// The web notices of the notes window: the notice page "WebGet", the help
// line "lab_key" that the notice lines rotate through (a click opens the
// address in "Text6"), and the update box that "升级" opens with its
// "马上升级" decision. Whatever the site sends is shown as plain text, cut
// to a sane length, and only http and https addresses are ever opened. When
// the site cannot be reached, the update box and "马上升级" say so.
class NoticeBoard : public QObject
{
    Q_OBJECT
  public:
    explicit NoticeBoard(QWidget *window);

    // Where the notice values come from: by default the notice page.
    using Source = std::function<std::optional<QString>(const QString &name)>;
    void setSource(Source source);

    // Only these addresses from the site are opened: http and https ones
    // with a host.
    static bool isWebAddress(const QString &address);
    // The longest notice line, and update text, shown.
    static constexpr int kMaxLineChars = 300;
    static constexpr int kMaxInfoChars = 20000;

    // Starts loading the notice page; nothing waits for it.
    void navigate();
    ClickLabel *helpLine() const { return lab_key; }
    // The help line runs from its place to x = right.
    void setHelpLineEnd(int right);
    // The hot key the help line names: none when keyName is empty. A notice
    // line on show stays; the help line comes back with the next load.
    void setHotKey(const QString &keyName);

  private:
    void createHelpLine();
    void createUpdateBox();
    void createTimers();
    std::optional<QString> value(const QString &name) const;
    void noticeTick(int line);
    void showLine(const QString &text);
    void lab_key_Click();
    void update_Click();
    void UpdateNow_Click();
    void Later_update_Click();
    void siteAnswered(bool reached);
    void showUpdateInfo();

    // What is known of the site: the page is on its way, it came (or the
    // values come from a source of their own), or the site could not be reached.
    enum class Site { Loading, Answered, Unreachable };

    QWidget *window_;
    Source source_;
    QString line_;             // the line in the help line, whole
    bool noticeShown_ = false; // a notice line has replaced the help
    Site site_ = Site::Loading;
    bool pageIsSource_ = true;
    bool updateWanted_ = false; // "马上升级" was pressed while the page was on its way
    NoticePage *WebGet = nullptr;
    ClickLabel *lab_key = nullptr;
    QLineEdit *Text6 = nullptr;
    QPushButton *updateButton = nullptr; // "update"
    QFrame *UpdateBox = nullptr;
    QLabel *Label4 = nullptr;
    QPlainTextEdit *Text7 = nullptr;
    QPushButton *UpdateNow = nullptr;
    QPushButton *Later_update = nullptr;
    QTimer *tim_gg1 = nullptr;
    QTimer *tim_gg2 = nullptr;
    QTimer *tim_gg3 = nullptr;
};
