// Self-pipe from the signal handler to the event loop.
#include "InterruptWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t ignored = ::write(pipeFds[1], &byte, 1);
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM})
        ::sigaction(number, &action, nullptr);
    notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptWatcher::readPipe);
}

InterruptWatcher::~InterruptWatcher()
{
    for (int number : {SIGINT, SIGTERM})
        std::signal(number, SIG_DFL);
}

void InterruptWatcher::readPipe()
{
    char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        emit interrupted(int(byte));
}
