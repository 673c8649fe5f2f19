#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTimeZone>

#include <functional>

// The first instant after `now` that falls on a later date, in now's own
// zone (local time, or a named zone): the start of the next day, which is
// later than midnight where a daylight-saving change skips midnight, and
// which skips a day that the zone left out altogether.
QDateTime nextDayStart(const QDateTime& now);

// Tells when the local date may have changed: at the start of each day, at
// once when the wall clock is set or the machine resumes from suspend, and
// when the system's time zone changes; and what the date is. Sleeps in
// between, so an idle strip costs nothing.
//
// The C library reads the system's zone once and, short of a change of TZ,
// never again; and TZ must not change once threads run. So a zone that can
// change (a zone file: /etc/localtime, or TZ=":/path") is read here, by the
// zone's name the file links to, and the date is that zone's.
class DayWatcher : public QObject {
    Q_OBJECT

public:
    using Deadline = std::function<QDateTime()>;

    // `deadline` gives the next instant to wake at; by default the start of
    // the next day in the zone followed.
    explicit DayWatcher(QObject* parent = nullptr, Deadline deadline = {});
    ~DayWatcher() override;

    // Today's date in the system's zone as it is now.
    QDate today() const;

    // Reads the zone by the name its file links to. Loading a named zone
    // costs a millisecond or two: till it is read, the C library's, read
    // from the same file at the start, stands; a change of zone reads it.
    void readZone();

signals:
    void dayMayHaveChanged();

private:
    // What the line can no longer follow; each is said once.
    enum class Loss { Day = 1, Zone = 2 };

    void watchZone();
    void watchZoneFolder();
    void arm();
    void wake();
    void zoneMayHaveChanged();
    void lose(Loss loss, const char* what, int error);
    QDateTime now() const;

    const Deadline deadline_;
    int timerFd_ = -1;
    int zoneFd_ = -1;
    // The folder holding the system's zone file, and its parent, which sees
    // the folder come back when it is replaced whole.
    int folderWatch_ = -1;
    int parentWatch_ = -1;
    QByteArray folder_, folderName_, zoneFileName_;
    QString zoneFile_;  // empty where the zone cannot change (TZ names it)
    QTimeZone zone_;    // the zone the file names; invalid: the C library's
    int lost_ = 0;
};
