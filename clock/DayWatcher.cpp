#include "DayWatcher.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimeZone>

#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <utility>

QDateTime nextDayStart(const QDateTime& now)
{
    const QDateTime local = now.timeSpec() == Qt::TimeZone ? now : now.toLocalTime();
    for (QDate day = local.date().addDays(1);; day = day.addDays(1)) {
        // A day a zone skipped whole has no start: the next one does.
        QDateTime start = now.timeSpec() == Qt::TimeZone ? day.startOfDay(now.timeZone()) : day.startOfDay();
        if (!start.isValid() || start <= now)
            continue;
        // Where midnight comes twice, Qt names the second: step back to the
        // first (zones shift their clocks in steps of half an hour).
        for (QDateTime earlier = start.addSecs(-1800); earlier > now && earlier.date() == day;
             earlier = earlier.addSecs(-1800))
            start = earlier;
        return start;
    }
}

DayWatcher::DayWatcher(QObject* parent, Deadline deadline)
    : QObject(parent)
    , deadline_(deadline ? std::move(deadline) : [this] { return nextDayStart(now()); })
{
    watchZone();
    // An absolute CLOCK_REALTIME deadline fires on time even across suspend
    // (a monotonic timer would not count the time asleep), and
    // TFD_TIMER_CANCEL_ON_SET wakes us when the clock is set.
    timerFd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) {
        auto* notifier = new QSocketNotifier(timerFd_, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &DayWatcher::wake);
        arm();
    } else {
        lose(Loss::Day, "timerfd_create", errno);
    }
}

DayWatcher::~DayWatcher()
{
    for (const int fd : {timerFd_, zoneFd_})
        if (fd >= 0)
            ::close(fd);
}

void DayWatcher::watchZone()
{
    // The zone comes from TZ when it is set; only a TZ that names a file
    // (":/path") can change under us. Otherwise it is /etc/localtime, which a
    // change of zone replaces (a new symlink renamed over the old one).
    const QByteArray tz = qgetenv("TZ");
    if (!tz.isNull() && !tz.startsWith(":/"))
        return;
    const QFileInfo file(tz.isNull() ? QStringLiteral("/etc/localtime") : QString::fromLocal8Bit(tz.mid(1)));
    zoneFile_ = file.filePath();
    const QFileInfo folder(file.path());
    zoneFileName_ = QFile::encodeName(file.fileName());
    folder_ = QFile::encodeName(folder.filePath());
    folderName_ = QFile::encodeName(folder.fileName());
    zoneFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (zoneFd_ < 0) {
        lose(Loss::Zone, "inotify_init1", errno);
        return;
    }
    parentWatch_ = inotify_add_watch(zoneFd_, QFile::encodeName(folder.path()).constData(),
                                     IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    const int parentError = errno;
    watchZoneFolder();
    if (parentWatch_ < 0 && folderWatch_ < 0) {
        lose(Loss::Zone, "inotify_add_watch", parentError);
        return;
    }
    auto* notifier = new QSocketNotifier(zoneFd_, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &DayWatcher::zoneMayHaveChanged);
}

void DayWatcher::watchZoneFolder()
{
    folderWatch_ = inotify_add_watch(zoneFd_, folder_.constData(),
                                     IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_MOVE_SELF | IN_ONLYDIR);
}

void DayWatcher::arm()
{
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(deadline_().toSecsSinceEpoch());
    if (timerFd_ >= 0 && timerfd_settime(timerFd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) != 0)
        lose(Loss::Day, "timerfd_settime", errno);
}

void DayWatcher::wake()
{
    // Drain the expiry count; ECANCELED means the clock was set.
    std::uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) < 0 && errno != ECANCELED && errno != EAGAIN)
        lose(Loss::Day, "read", errno);
    arm();
    emit dayMayHaveChanged();
}

void DayWatcher::zoneMayHaveChanged()
{
    alignas(inotify_event) char buffer[sizeof(inotify_event) + NAME_MAX + 1];
    bool changed = false;
    ssize_t length;
    while ((length = ::read(zoneFd_, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const bool named = event->len > 0;
            if (event->wd == folderWatch_ && (event->mask & (IN_IGNORED | IN_MOVE_SELF))) {
                // The folder went (removed, or renamed away): the zone file
                // with it. Its parent sees a new one come.
                if (event->mask & IN_MOVE_SELF)
                    inotify_rm_watch(zoneFd_, folderWatch_);
                folderWatch_ = -1;
                changed = true;
            } else if (event->wd == folderWatch_) {
                changed |= named && zoneFileName_ == event->name;
            } else if (event->wd == parentWatch_ && (event->mask & IN_IGNORED)) {
                parentWatch_ = -1;
            } else if (event->wd == parentWatch_ && named && folderName_ == event->name && folderWatch_ < 0) {
                // A new folder in the old one's place, maybe with its zone
                // file already made: watch it and read the zone anew.
                watchZoneFolder();
                changed = true;
            }
        }
    }
    if (length < 0 && errno != EAGAIN)
        lose(Loss::Zone, "read", errno);
    if (parentWatch_ < 0 && folderWatch_ < 0)
        lose(Loss::Zone, "inotify_add_watch", ENOENT);
    if (!changed)
        return;
    readZone();
    arm();
    emit dayMayHaveChanged();
}

QDateTime DayWatcher::now() const
{
    return zone_.isValid() ? QDateTime::currentDateTimeUtc().toTimeZone(zone_) : QDateTime::currentDateTime();
}

QDate DayWatcher::today() const
{
    return now().date();
}

void DayWatcher::readZone()
{
    // Debian links /etc/localtime to the zone's file under zoneinfo/; the
    // path that follows names the zone ("right/" and "posix/" are variants
    // of the same zones).
    const QString target = QFileInfo(zoneFile_).canonicalFilePath();
    const qsizetype at = target.lastIndexOf(QLatin1String("/zoneinfo/"));
    QString name = at < 0 ? QString() : target.mid(at + 10);
    for (const QLatin1String variant : {QLatin1String("right/"), QLatin1String("posix/")})
        if (name.startsWith(variant))
            name = name.mid(variant.size());
    zone_ = name.isEmpty() ? QTimeZone() : QTimeZone(name.toUtf8());
    // Named no zone: the C library's, read at the start, stands.
    if (!zone_.isValid() && !target.isEmpty())
        lose(Loss::Zone, QFile::encodeName(zoneFile_ + QStringLiteral(" links to no zone by name")).constData(), 0);
}

void DayWatcher::lose(Loss loss, const char* what, int error)
{
    if (lost_ & int(loss))
        return;
    lost_ |= int(loss);
    const QByteArray why = error ? QByteArray(what) + " failed (" + std::strerror(error) + ")" : QByteArray(what);
    qWarning("velmora: %s; the date line will %s", why.constData(),
             loss == Loss::Day ? "no longer change at midnight or when the clock is set"
                               : "not follow a change of the system's time zone");
}
