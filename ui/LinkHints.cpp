#include "LinkHints.h"

#include "StarsCommands.h"

#include <QCoreApplication>

namespace {

// The runtime service tries the first register 15 times before it gives up; the link has then
// stayed down through them all. A little slack lets a slow first answer count.
constexpr int kFirstAttempts = 15;
constexpr int kSilenceMs = kFirstAttempts * int(POLL_TIMEOUT_MS) + 300;

} // namespace

LinkHints::LinkHints(QObject *parent)
    : QObject(parent)
{
    silence.setSingleShot(true);
    silence.setInterval(kSilenceMs);
    connect(&silence, &QTimer::timeout, this, [this] {
        if (watching && !linkUp)
            emit hint(noAnswerText(product));
    });
}

void LinkHints::setWatching(bool watch, const QString &productName)
{
    watching = watch;
    product = productName;
    zerosSince.invalidate();
    zeroHintShown = false;
    restartSilence();
}

void LinkHints::linkChanged(bool up)
{
    linkUp = up;
    zerosSince.invalidate();
    zeroHintShown = false;
    if (up)
        silence.stop();
}

void LinkHints::readings(bool allZero)
{
    if (!watching || !linkUp || !allZero) {
        zerosSince.invalidate();
        return;
    }
    if (!zerosSince.isValid()) {
        zerosSince.start();
        return;
    }
    if (!zeroHintShown && zerosSince.hasExpired(ZeroReadingsMs)) {
        zeroHintShown = true;
        emit hint(zeroReadingsText(product));
    }
}

void LinkHints::restartSilence()
{
    if (watching && !linkUp)
        silence.start();
    else
        silence.stop();
}

QString LinkHints::noAnswerText(const QString &productName)
{
    return QCoreApplication::translate("LinkHints", "%1 没有应答：产品型号选对了吗？").arg(productName);
}

QString LinkHints::zeroReadingsText(const QString &productName)
{
    return QCoreApplication::translate("LinkHints", "%1 的读数全为零：产品型号选对了吗？").arg(productName);
}
