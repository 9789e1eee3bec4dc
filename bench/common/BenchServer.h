// A TestHttpsServer on the loopback, served from a thread of its own so that it answers while the
// benchmark's own thread is busy timing a client or waiting for a child process.
#pragma once

#include "TestHttpsServer.h"

#include <QHash>
#include <QObject>
#include <QThread>

class BenchServer
{
public:
    // Listens with TLS using the certificates in `certificateDir`, or plain HTTP when it is empty.
    BenchServer(const QHash<QByteArray, TestHttpsServer::Route> &routes, const QString &certificateDir)
    {
        inServerThread.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(&inServerThread, [&] {
            server = new TestHttpsServer;
            server->routes = routes;
            server->listen(certificateDir);
            serverBase = server->base();
        }, Qt::BlockingQueuedConnection);
    }
    ~BenchServer() { stop(); }
    BenchServer(const BenchServer &) = delete;
    BenchServer &operator=(const BenchServer &) = delete;

    // "https://127.0.0.1:PORT/" (or http).
    QString base() const { return serverBase; }

    // Closes the server in its thread and ends the thread; also done on destruction, so that an
    // early return never leaves the thread running.
    void stop()
    {
        if (!thread.isRunning())
            return;
        QMetaObject::invokeMethod(&inServerThread, [this] {
            delete server;
            server = nullptr;
        }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }

private:
    QThread thread;
    QObject inServerThread;
    TestHttpsServer *server = nullptr;
    QString serverBase;
};
