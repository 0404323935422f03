// Preloaded (LD_PRELOAD) into a program under test: notes every message box
// the moment it is shown, and does nothing else (the test answers the box on
// the screen). One line per box in the file named by VARNEL_TEST_BOX_LOG:
// title, icon number and text, separated by tabs, line breaks written "\n".

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMessageBox>

namespace
{

class BoxLogger : public QObject
{
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched))
                log(box);
        }
        return false;
    }

  private:
    static void log(const QMessageBox *box)
    {
        QFile file(qEnvironmentVariable("VARNEL_TEST_BOX_LOG"));
        if (!file.open(QIODevice::Append))
            return;
        QString text = box->text();
        text.replace(QLatin1String("\r"), QString())
            .replace(QLatin1String("\n"), QLatin1String("\\n"));
        file.write((box->windowTitle() + QLatin1Char('\t') + QString::number(box->icon()) +
                    QLatin1Char('\t') + text + QLatin1Char('\n'))
                       .toUtf8());
    }
};

void startLogging()
{
    qApp->installEventFilter(new BoxLogger(qApp));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startLogging)
