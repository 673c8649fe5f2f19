#pragma once

#include <QObject>

// Tells when the local date may have changed: at the start of each day, and
// at once when the wall clock is set or the machine resumes from suspend.
// Sleeps in between, so an idle strip costs nothing.
class DayWatcher : public QObject {
    Q_OBJECT

public:
    explicit DayWatcher(QObject* parent = nullptr);
    ~DayWatcher() override;

signals:
    void dayMayHaveChanged();

private:
    void arm();
    void wake();

    int timerFd_ = -1;
};
