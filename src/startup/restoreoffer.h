#pragma once

#include <QString>

#include <optional>

#include "store/backup/notebookrestore.h"

class QWidget;

namespace varnel
{

class DbError;

// The message for a damaged notebook: it offers the newest good copy in the
// backup folder and restores it on the user's yes.
class RestoreOffer
{
  public:
    // `what` says what is wrong. True when the notebook was restored.
    // Without a good copy it says so.
    static bool offer(QWidget *parent, const QString &what,
                      const QString &title = QStringLiteral("Varnel提示"));
    static bool offer(QWidget *parent, const DbError &error);
    // The same without waiting: the box stays up while the program goes on.
    static void offerLater(const QString &what);

  private:
    static bool answer(QWidget *parent, const NotebookRestore::Copy &copy, const QString &title);
};

} // namespace varnel
