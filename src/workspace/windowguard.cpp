#include "windowguard.h"

#include "store/database.h"
#include "restoreoffer.h"
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
    // A damaged notebook: the message offers its newest good copy.
    if (error.kind() == DbError::NotADatabase) {
        RestoreOffer::offer(window, error.userText(), QStringLiteral("错误提示"));
        return;
    }
    QMessageBox::critical(window, QStringLiteral("错误提示"), error.userText());
}

} // namespace varnel
