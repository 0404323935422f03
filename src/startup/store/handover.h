#pragma once

#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>

namespace varnel
{

// Marks where one thread hands what it wrote to another through Qt's thread
// pool, a QFuture or a queued call. Those order the two threads with locks
// inside Qt's libraries, which ThreadSanitizer cannot see unless Qt itself is
// built with it; a release and an acquire on one counter state the same order
// in code it sees. Elsewhere it costs an atomic add per hand-over.
//
// handOver() on the sending thread after its last write (after the task or the
// call has been made, before it is started or posted); takeOver() on the
// receiving thread before its first read (the first statement of a task or a
// queued call, right after waiting for a future). One counter for every
// hand-over, because a task cannot look at its own captures before it has
// taken them over; the price is that ThreadSanitizer sees a little more order
// than there is.
inline std::atomic<unsigned> &handOverCounter()
{
    static std::atomic<unsigned> counter{0};
    return counter;
}

inline void handOver()
{
    handOverCounter().fetch_add(1, std::memory_order_release);
}

inline void takeOver()
{
    (void)handOverCounter().load(std::memory_order_acquire);
}

// A string for another thread as a buffer of its own: the count of a shared
// one also changes inside Qt's library, where ThreadSanitizer does not see
// it, so the last one to let go could free it unseen.
inline QString ownCopy(const QString &text)
{
    return QString(text.constData(), text.size());
}

// Starts `task` on `pool` with what it captured handed over: the wrapper is
// made before the hand-over and takes over before it reads its capture.
inline void startHandedOver(QThreadPool &pool, std::function<void()> task)
{
    std::function<void()> run = [task = std::move(task)] {
        takeOver();
        task();
    };
    handOver();
    pool.start(std::move(run));
}

// Hands over when a task ends, also when it ends with an exception.
struct HandOverAtExit {
    HandOverAtExit() = default;
    HandOverAtExit(const HandOverAtExit &) = delete;
    HandOverAtExit &operator=(const HandOverAtExit &) = delete;
    ~HandOverAtExit() { handOver(); }
};

} // namespace varnel
