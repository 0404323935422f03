#include "quitsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

int QuitSignals::pipe_[2] = {-1, -1};

QuitSignals::QuitSignals(QObject *parent) : QObject(parent)
{
    if (pipe_[0] != -1)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipe_) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(pipe_[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::onReadable);

    struct sigaction action = {};
    action.sa_handler = &QuitSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
    installed_ = true;
}

QuitSignals::~QuitSignals()
{
    if (!installed_)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
    pipe_[0] = pipe_[1] = -1;
}

void QuitSignals::handle(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // Async-signal-safe; a full pipe already holds a pending request.
    [[maybe_unused]] const ssize_t written = ::write(pipe_[0], &byte, 1);
    errno = savedErrno;
}

void QuitSignals::onReadable()
{
    char buffer[16];
    while (::read(pipe_[1], buffer, sizeof buffer) > 0) {
    }
    QCoreApplication::exit(0);
}
