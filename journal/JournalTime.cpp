// One formatter and parser of journal times for the window and the command line.
#include "JournalTime.h"

#include <QRegularExpression>

QString JournalTime::shown(const QDateTime &time, bool utc)
{
    if (!time.isValid())
        return QString();
    const QDateTime at = utc ? time.toUTC() : time.toLocalTime();
    const int offset = at.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return QStringLiteral("%1 %2%3:%4")
        .arg(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QDateTime JournalTime::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^(\d{4}-\d\d-\d\d)(?:[T ](\d\d:\d\d(?::\d\d(?:\.\d{1,3})?)?)\s*(Z|UTC|[+-]\d\d:\d\d)?)?$)"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return QDateTime();
    if (match.capturedLength(2) == 0) {
        const QDate day = QDate::fromString(match.captured(1), Qt::ISODate);
        return day.isValid() ? QDateTime(day, QTime(0, 0), Qt::LocalTime) : QDateTime();
    }
    QString zone = match.captured(3);
    if (zone == QLatin1String("UTC"))
        zone = QStringLiteral("Z");
    // Qt reads an ISO time without a zone as local time, which is what was shown.
    return QDateTime::fromString(match.captured(1) + QLatin1Char('T') + match.captured(2) + zone, Qt::ISODateWithMs);
}
