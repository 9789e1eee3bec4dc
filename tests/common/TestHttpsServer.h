// A small HTTPS server on 127.0.0.1 for tests, with certificates made by openssl at test time.
#pragma once

#include <QDir>
#include <QHash>
#include <QHostAddress>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

// A certificate authority and a server certificate for 127.0.0.1, made in `dir` with openssl.
namespace TestCertificates {

inline bool openssl(const QDir &dir, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning().noquote() << "openssl" << arguments << process.readAll();
        return false;
    }
    return true;
}

// ca.pem, server.pem and server.key in `dir`.
inline bool make(const QDir &dir)
{
    QFile extensions(dir.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write("subjectAltName=IP:127.0.0.1\n") < 0)
        return false;
    extensions.close();
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes")};
    return openssl(dir, QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                            + QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"), QStringLiteral("ca.pem"),
                                          QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Test CA")})
           && openssl(dir, QStringList{QStringLiteral("req")} + ec
                               + QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"), QStringLiteral("server.csr"),
                                             QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")})
           && openssl(dir, {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"), QStringLiteral("-CA"),
                            QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
                            QStringLiteral("-out"), QStringLiteral("server.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                            QStringLiteral("-extfile"), QStringLiteral("server.ext")});
}

// Makes this process's TLS clients trust the authority in `dir` (besides the system's).
inline void trust(const QDir &dir)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(QSslCertificate::fromPath(dir.filePath(QStringLiteral("ca.pem"))));
    QSslConfiguration::setDefaultConfiguration(configuration);
}

} // namespace TestCertificates

// Answers GET requests from a table of routes, one request per connection. A route may
// redirect, send a short or a stalled body, or announce a length other than the body's.
class TestHttpsServer : public QObject
{
public:
    struct Route
    {
        int status = 200;
        QByteArray body;
        QByteArray location;       // for a redirect
        qint64 stallAfter = -1;    // send this many body bytes, then nothing more
    };

    // Listens with TLS using the certificates in `dir` (or plain HTTP when `dir` is empty).
    bool listen(const QString &dir)
    {
        if (!dir.isEmpty()) {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setLocalCertificate(QSslCertificate::fromPath(dir + QStringLiteral("/server.pem")).value(0));
            QFile key(dir + QStringLiteral("/server.key"));
            if (!key.open(QIODevice::ReadOnly))
                return false;
            configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
            configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
            server.setSslConfiguration(configuration);
            secure = true;
        }
        QTcpServer *listener = secure ? &server : &plain;
        connect(listener, &QTcpServer::pendingConnectionAvailable, this, [this, listener] {
            while (QTcpSocket *socket = listener->nextPendingConnection())
                serve(socket);
        });
        return listener->listen(QHostAddress::LocalHost);
    }
    void close()
    {
        server.close();
        plain.close();
    }
    QString base() const
    {
        return QStringLiteral("%1://127.0.0.1:%2/").arg(secure ? QStringLiteral("https") : QStringLiteral("http")).arg(secure ? server.serverPort() : plain.serverPort());
    }

    QHash<QByteArray, Route> routes; // by path, "/catalogue.json"
    int requests = 0;

private:
    void serve(QTcpSocket *socket)
    {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            ++requests;
            const QByteArray path = buffer->left(buffer->indexOf("\r\n")).split(' ').value(1);
            buffer->clear();
            disconnect(socket, &QTcpSocket::readyRead, socket, nullptr);
            answer(socket, routes.value(path, Route{404, "not here\n", {}, -1}));
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
    void answer(QTcpSocket *socket, const Route &route)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + " X\r\nConnection: close\r\nContent-Length: "
                          + QByteArray::number(route.body.size()) + "\r\n";
        if (!route.location.isEmpty())
            head += "Location: " + route.location + "\r\n";
        socket->write(head + "\r\n");
        if (route.stallAfter >= 0) {
            socket->write(route.body.left(route.stallAfter));
            return; // held open, silent
        }
        socket->write(route.body);
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
            if (socket->bytesToWrite() == 0 && (!qobject_cast<QSslSocket *>(socket) || qobject_cast<QSslSocket *>(socket)->encryptedBytesToWrite() == 0))
                socket->disconnectFromHost();
        });
    }

    QSslServer server;
    QTcpServer plain;
    bool secure = false;
};
