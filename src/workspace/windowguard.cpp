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
        QMessageBox::critical(window, QStringLiteral("错误提示"), e.userText());
    } catch (const WindowGone &) {
        // Nothing of the window may be touched any more.
    }
    return false;
}

} // namespace varnel
