#include "windowguard.h"

#include "database.h"
#include "windowunload.h"

#include <QMessageBox>

namespace varnel
{

bool guarded(QWidget *window, const std::function<void()> &body)
{
    const HandlerScope running(window);
    try {
        body();
        return true;
    } catch (const DbError &e) {
        reportFailure(window, e);
    } catch (const WindowGone &) {
        // Nothing of the window may be touched any more.
    }
    return false;
}

void reportFailure(QWidget *window, const DbError &error)
{
    QMessageBox::critical(window, QStringLiteral("错误提示"), error.userText());
}

} // namespace varnel
