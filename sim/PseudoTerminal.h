// The simulator's end of a pseudo-terminal, reachable by the host through a stable symlink.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// Holds the master side and keeps its own slave descriptor open, so the master never sees a
// hang-up when the host closes the port and opens it again.
class PseudoTerminal : public QObject
{
    Q_OBJECT

public:
    explicit PseudoTerminal(QObject *parent = nullptr);
    // Removes the link and closes both descriptors.
    ~PseudoTerminal() override;

    // Opens the pair in raw mode and points `linkPath` at the slave (replacing an old symlink,
    // never another kind of file, nor a link that another running simulator holds). False with
    // errorString() on failure; linkTaken() then tells whether another simulator holds the link.
    // While the link is ours, `linkPath` + ".lock" carries our lock on it.
    bool open(const QString &linkPath);
    // Removes the link if it still points at our pseudo-terminal: one that has been pointed
    // elsewhere since is someone else's.
    void removeLink();
    bool linkTaken() const { return taken; }

    QString errorString() const { return error; }
    QString slavePath() const { return slaveName; }
    QString linkPath() const { return link; }

public slots:
    // Bytes for the host. When the host does not read, the kernel buffer fills and the
    // rest is dropped, as on a line nobody listens to.
    void write(QByteArray bytes);

signals:
    void bytesReceived(QByteArray bytes);

private:
    void readMaster();
    bool fail(const QString &what);

    int masterFd = -1;
    int slaveFd = -1;
    int lockFd = -1;
    QByteArray lockFile; // the lock file's path while we hold its lock
    bool taken = false;
    QSocketNotifier *notifier = nullptr;
    QString slaveName;
    QString link;
    QString error;
};
