// One capped download: an index, a signature or a package, over HTTP(S), file:// or a path.
#pragma once

#include "Sha256.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;

// Lives in the thread that owns the QNetworkAccessManager it is given. Follows at most five
// redirects and never one from https to http; gives up when no answer comes within the
// connect time-out or no byte within the stall time-out; stops reading at `limit` bytes.
// Each piece of the body is hashed as it arrives.
// Local files are read with the package reader (regular files only, never blocking).
class CatalogueDownload : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Ok,
        Failed,   // unreachable, refused redirect, HTTP error, time-out, unreadable file
        TooLarge, // more than `limit` bytes
        Missing,  // 404 or no such file: for an optional file, not an error
    };

    struct Timeouts
    {
        int connectMs = 10000;
        int stallMs = 15000;
    };

    CatalogueDownload(QNetworkAccessManager *network, const Timeouts &timeouts, QObject *parent = nullptr);
    ~CatalogueDownload() override;

    // Starts fetching; finished() follows once, also for a local file (queued). With `copy`,
    // each piece of the body is also written to it as it arrives (a file being kept); a piece
    // that cannot be written ends the download as Failed.
    void start(const QUrl &url, qint64 limit, QIODevice *copy = nullptr);
    void abort();

    Outcome outcome() const { return result; }
    QByteArray bytes() const { return body.bytes(); } // the whole body when Ok
    // The whole body when Ok with its SHA-256, hashed piece by piece as it arrived.
    const HashedBytes &hashed() const { return body; }
    QString detail() const { return why; }    // in plain English when not Ok

    // At most this many redirects are followed.
    static constexpr int RedirectLimit = 5;

signals:
    void progress(qint64 received, qint64 total);
    void finished();

private:
    void readLocal(const QString &path);
    void onReadyRead();
    void onFinished();
    void finish(Outcome outcome, const QString &detail);
    bool copied(QByteArrayView piece); // false when a piece could not be written to `copy`

    QNetworkAccessManager *network;
    Timeouts timeouts;
    QPointer<QNetworkReply> reply;
    QTimer connectTimer;
    QTimer stallTimer;
    qint64 limit = 0;
    qint64 total = -1;
    QPointer<QIODevice> copy;
    bool copying = false;
    HashingBuffer buffer; // the body so far
    HashedBytes body;     // the whole body, once Ok
    Outcome result = Outcome::Failed;
    QString why;
    bool done = false;
};
