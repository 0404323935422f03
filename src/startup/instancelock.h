#pragma once

#include <QString>

// One running copy per program file: a lock file in the user's runtime folder
// whose name is derived from the program's full path. The lock belongs to the
// process; a lock left by a process that no longer runs does not count.
namespace varnel
{

class InstanceLock
{
  public:
    // Takes the lock for this process. False when another running process
    // holds it. When the lock cannot be made at all (no usable folder), the
    // start is not refused.
    static bool acquire();
    // Gives the lock up (at exit it goes by itself).
    static void release();
    static bool isHeld();

    // The lock file for the running program.
    static QString path();
};

} // namespace varnel
