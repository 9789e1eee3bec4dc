// A capped download with Qt Network; file:// and paths through the package reader.
#include "CatalogueDownload.h"
#include "CatalogueLog.h"
#include "PackageFileReader.h"

#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cstring>

CatalogueDownload::CatalogueDownload(QNetworkAccessManager *network, const Timeouts &timeouts, QObject *parent)
    : QObject(parent), network(network), timeouts(timeouts)
{
    connectTimer.setSingleShot(true);
    stallTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, [this] {
        finish(Outcome::Failed, QStringLiteral("no answer within %1 s").arg(this->timeouts.connectMs / 1000.0));
    });
    connect(&stallTimer, &QTimer::timeout, this, [this] {
        finish(Outcome::Failed, QStringLiteral("nothing arrived for %1 s").arg(this->timeouts.stallMs / 1000.0));
    });
}

CatalogueDownload::~CatalogueDownload()
{
    if (reply) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void CatalogueDownload::start(const QUrl &url, qint64 cap, QIODevice *copyTo)
{
    limit = cap;
    copy = copyTo;
    copying = copyTo != nullptr;
    if (url.isLocalFile() || url.scheme().isEmpty()) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
        QMetaObject::invokeMethod(this, [this, path] { readLocal(path); }, Qt::QueuedConnection);
        return;
    }
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")) {
        QMetaObject::invokeMethod(this, [this, url] { finish(Outcome::Failed, QStringLiteral("%1: is not a scheme this program fetches").arg(url.scheme())); },
                                  Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(RedirectLimit);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    qCDebug(lcCatalogue) << "fetching" << url.toDisplayString();
    reply = network->get(request);
    connect(reply, &QNetworkReply::readyRead, this, &CatalogueDownload::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &CatalogueDownload::onFinished);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        connectTimer.stop();
        stallTimer.start(timeouts.stallMs);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 300 && status < 400)
            return; // a redirect being followed: its length is not the body's
        if (length.isValid()) {
            total = length.toLongLong();
            if (total > limit)
                finish(Outcome::TooLarge, QStringLiteral("%1 bytes announced, more than %2").arg(total).arg(limit));
            else if (total > buffer.size())
                buffer.reserve(total); // the body is never moved while it grows
        }
    });
    connectTimer.start(timeouts.connectMs);
}

void CatalogueDownload::abort()
{
    finish(Outcome::Failed, QStringLiteral("stopped"));
}

void CatalogueDownload::readLocal(const QString &path)
{
    const PackageFileReader::Result read = PackageFileReader::read(path, limit);
    switch (read.outcome) {
    case PackageFileReader::Outcome::Ok:
        if (!copied(read.bytes))
            return;
        body = HashedBytes::of(read.bytes);
        emit progress(body.size(), body.size());
        finish(Outcome::Ok, {});
        return;
    case PackageFileReader::Outcome::Missing:
        finish(Outcome::Missing, QStringLiteral("%1: no such file").arg(path));
        return;
    case PackageFileReader::Outcome::TooLarge:
        finish(Outcome::TooLarge, QStringLiteral("%1: more than %2 bytes").arg(path).arg(limit));
        return;
    case PackageFileReader::Outcome::NotRegularFile:
        finish(Outcome::Failed, QStringLiteral("%1: not a regular file").arg(path));
        return;
    case PackageFileReader::Outcome::ReadError:
        finish(Outcome::Failed, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(read.error))));
        return;
    }
}

void CatalogueDownload::onReadyRead()
{
    if (done || !reply)
        return;
    stallTimer.start(timeouts.stallMs);
    // Never more than one byte past the limit is held, whatever the server sends.
    const qsizetype before = buffer.size();
    buffer.readFrom(reply, limit + 1 - buffer.size());
    if (buffer.size() > limit) {
        finish(Outcome::TooLarge, QStringLiteral("more than %1 bytes").arg(limit));
        return;
    }
    if (!copied(buffer.view().sliced(before)))
        return;
    emit progress(buffer.size(), total);
}

bool CatalogueDownload::copied(QByteArrayView piece)
{
    if (!copying || piece.isEmpty() || (copy && copy->write(piece.data(), piece.size()) == piece.size()))
        return true;
    finish(Outcome::Failed, QStringLiteral("cannot write it: %1").arg(copy ? copy->errorString() : QStringLiteral("closed")));
    return false;
}

void CatalogueDownload::onFinished()
{
    if (done || !reply)
        return;
    onReadyRead();
    if (done)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::ContentNotFoundError || status == 404) {
        finish(Outcome::Missing, QStringLiteral("not found (HTTP 404)"));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        finish(Outcome::Failed, reply->errorString());
        return;
    }
    if (status != 200) {
        finish(Outcome::Failed, QStringLiteral("HTTP status %1").arg(status));
        return;
    }
    body = buffer.take();
    finish(Outcome::Ok, {});
}

void CatalogueDownload::finish(Outcome outcome, const QString &detail)
{
    if (done)
        return;
    done = true;
    connectTimer.stop();
    stallTimer.stop();
    result = outcome;
    why = detail;
    buffer.clear();
    if (reply) {
        reply->disconnect(this);
        if (reply->isRunning())
            reply->abort();
        reply->deleteLater();
        reply = nullptr;
    }
    qCDebug(lcCatalogue) << "fetch ended" << int(outcome) << detail;
    emit finished();
}
