#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Runs one piece of work on two cores: the caller's thread takes part 0, a
// helper thread part 1, and the call returns when both are done. The helper
// is started on first use and sleeps in between.
namespace varnel::search
{

class TwoCores
{
  public:
    static TwoCores &instance();
    ~TwoCores();

    void run(const std::function<void(int part)> &work);

  private:
    TwoCores() = default;
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(int)> *work_ = nullptr;
    bool busy_ = false;
    bool stop_ = false;
    std::thread helper_;
};

} // namespace varnel::search
