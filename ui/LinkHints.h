// Notices a gimbal that does not answer, or answers only zeros, on an open port, and says that
// the product choice may be wrong.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class LinkHints : public QObject
{
    Q_OBJECT

public:
    // How long readings may stay all zero before the hint.
    static constexpr int ZeroReadingsMs = 3000;

    explicit LinkHints(QObject *parent = nullptr);

    // The runtime link is being polled (port open, calibration tab) or not.
    void setWatching(bool watching, const QString &productName);
    // The runtime service reported the link up or down.
    void linkChanged(bool up);
    // One read-out refresh: whether all six sensor values were zero.
    void readings(bool allZero);

    static QString noAnswerText(const QString &productName);
    static QString zeroReadingsText(const QString &productName);

signals:
    void hint(const QString &text);

private:
    void restartSilence();

    QTimer silence; // the first full try of the first register without an answer
    QElapsedTimer zerosSince;
    QString product;
    bool watching = false;
    bool linkUp = false;
    bool zeroHintShown = false;
};
