#include "DayWatcher.h"

#include <QDateTime>
#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

QDateTime nextDayStart()
{
    // startOfDay: where a time-zone change skips midnight, the day starts later.
    return QDate::currentDate().addDays(1).startOfDay();
}

}  // namespace

DayWatcher::DayWatcher(QObject* parent)
    : QObject(parent)
{
    // An absolute CLOCK_REALTIME deadline fires on time even across suspend
    // (a monotonic timer would not count the time asleep), and
    // TFD_TIMER_CANCEL_ON_SET wakes us when the clock is set.
    timerFd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ < 0) {
        qWarning("velmora: no timerfd (%s); the date line will not follow the day", std::strerror(errno));
        return;
    }
    auto* notifier = new QSocketNotifier(timerFd_, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &DayWatcher::wake);
    arm();
}

DayWatcher::~DayWatcher()
{
    if (timerFd_ >= 0)
        ::close(timerFd_);
}

void DayWatcher::arm()
{
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(nextDayStart().toSecsSinceEpoch());
    timerfd_settime(timerFd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr);
}

void DayWatcher::wake()
{
    // Drain the expiry count; ECANCELED here means the clock was set.
    std::uint64_t expirations = 0;
    [[maybe_unused]] const auto ignored = ::read(timerFd_, &expirations, sizeof expirations);
    arm();
    emit dayMayHaveChanged();
}
