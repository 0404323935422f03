#include "store/search/twocores.h"

namespace varnel::search
{

TwoCores &TwoCores::instance()
{
    static TwoCores cores;
    return cores;
}

TwoCores::~TwoCores()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (helper_.joinable())
        helper_.join();
}

void TwoCores::loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || busy_; });
        if (stop_)
            return;
        const std::function<void(int)> *work = work_;
        lock.unlock();
        (*work)(1);
        lock.lock();
        busy_ = false;
        done_.notify_all();
    }
}

void TwoCores::run(const std::function<void(int part)> &work)
{
    {
        std::lock_guard lock(mutex_);
        if (!helper_.joinable())
            helper_ = std::thread([this] { loop(); });
        work_ = &work;
        busy_ = true;
    }
    wake_.notify_all();
    work(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
    work_ = nullptr;
}

} // namespace varnel::search
