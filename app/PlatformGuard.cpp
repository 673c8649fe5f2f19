#include "PlatformGuard.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct KeptMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// What the guard keeps while it lives; Qt may log from its own threads.
struct Keeping {
    std::mutex lock;
    bool active = false;
    std::vector<KeptMessage> messages;
    QtMessageHandler before = nullptr;  // the handler the messages go to once the platform has started
    std::function<QString()> diagnosis;
};

Keeping& keeping()
{
    static Keeping kept;
    return kept;
}

void keepOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    Keeping& kept = keeping();
    std::unique_lock hold(kept.lock);
    if (!kept.active) {
        // Said on another thread just as the guard went: passed straight on.
        const QtMessageHandler before = kept.before;
        hold.unlock();
        if (before)
            before(type, context, text);
        return;
    }
    if (type != QtFatalMsg) {
        kept.messages.push_back({type, context.category, text});
        return;
    }
    // The first thing Qt said is the cause ("could not connect to display",
    // "Could not find the Qt platform plugin"); the rest is advice.
    QString cause = text.section(QLatin1Char('\n'), 0, 0);
    for (const KeptMessage& message : kept.messages)
        if (message.type == QtWarningMsg || message.type == QtCriticalMsg) {
            cause = message.text;
            break;
        }
    if (const QString problem = kept.diagnosis ? kept.diagnosis() : QString(); !problem.isEmpty())
        std::fprintf(stderr, "velmora: %s\n", qPrintable(problem));
    else
        std::fprintf(stderr, "velmora: Qt could not start a platform: %s\n", qPrintable(cause.simplified()));
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

PlatformGuard::PlatformGuard(std::function<QString()> diagnose)
{
    Keeping& kept = keeping();
    const std::lock_guard hold(kept.lock);
    kept.diagnosis = std::move(diagnose);
    kept.active = true;
    kept.before = qInstallMessageHandler(keepOrEnd);
}

PlatformGuard::~PlatformGuard()
{
    Keeping& kept = keeping();
    std::vector<KeptMessage> messages;
    {
        const std::lock_guard hold(kept.lock);
        kept.active = false;
        kept.diagnosis = nullptr;
        messages = std::exchange(kept.messages, {});
    }
    qInstallMessageHandler(kept.before);
    for (const KeptMessage& message : messages) {
        const QMessageLogger logger(nullptr, 0, nullptr, message.category.constData());
        switch (message.type) {
        case QtDebugMsg: logger.debug("%s", qPrintable(message.text)); break;
        case QtInfoMsg: logger.info("%s", qPrintable(message.text)); break;
        case QtCriticalMsg: logger.critical("%s", qPrintable(message.text)); break;
        default: logger.warning("%s", qPrintable(message.text)); break;
        }
    }
}
