#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace varnel
{

// Starting the updater and ending the notebook for it. Both steps are hooks
// with the real behaviour as default, so that tests can stand in for them.
struct UpdateLaunch {
    // Starts `program` detached, without arguments, in the program folder.
    // Returns false when it cannot be started.
    static std::function<bool(const QString &program)> start;
    // Ends the notebook at once.
    static std::function<void()> quit;

    // The updater's path: <program folder>/update.
    static QString updaterPath();

    // The notice page's version number, when it is a whole number.
    static std::optional<qint64> pageVersion(const QString &ver);
};

} // namespace varnel
