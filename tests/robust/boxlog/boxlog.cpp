// Preloaded (LD_PRELOAD) into a program under test: notes every message box
// the moment it is shown (boxlogline.h), and does nothing else: the test
// answers the box on the screen.

#include "boxlogline.h"

#include <QApplication>
#include <QEvent>

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
                appendBoxLine(box);
        }
        return false;
    }
};

void startLogging()
{
    qApp->installEventFilter(new BoxLogger(qApp));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startLogging)
