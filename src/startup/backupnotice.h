#pragma once

#include "store/backup/dailybackup.h"

#include <QString>

namespace varnel
{

// What the user hears of a daily backup that did not work: one message per
// run, in a box that does not wait for an answer; for a damaged notebook the
// offer to restore its newest good copy.
class BackupNotice
{
  public:
    // Shows the run's message for a failed backup unless one was shown
    // already; a backup that was made or skipped says nothing.
    static void tell(const DailyBackup::Outcome &outcome);
    // The text of a failure's message, a few lines long whatever went wrong.
    static QString failureText(const DailyBackup::Outcome &outcome);
};

} // namespace varnel
