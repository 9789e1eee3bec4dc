// The firmware tab's "Available for this gimbal": the catalogue's releases for the chips Connect
// listed, and one download of the chosen release, handed to the window for its package box.
#pragma once

#include "CatalogueChoice.h"
#include "CatalogueClient.h"
#include "CatalogueOrigin.h"

#include <QGroupBox>
#include <QList>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
struct chipInfo;

// A package a catalogue download put in the package box, as the catalogue client checked it,
// and where it came from. Upgrade writes these bytes; its kept file is only where it is kept.
struct OfferedPackage
{
    CheckedPackage package;
    CatalogueOrigin origin;
};

class CatalogueOffer : public QGroupBox
{
    Q_OBJECT

public:
    explicit CatalogueOffer(QWidget *parent = nullptr);

    // The chips Connect listed: looks them up in the catalogue when one is set (the group shows),
    // else hides the group. Anything still in flight from an earlier listing is dropped.
    void chipsListed(const QList<chipInfo> &chips);
    // Drops what is in flight and hides the group: the listed chips are no longer on the table.
    void cancel();
    // Whether a package download is under way.
    bool downloading() const { return fetching; }

    // The window's words for a reason value.
    static QString reasonWords(CatalogueReason reason);
    // The window's words for a refused index, in the words of its case where there is one (no
    // signature file, changed after signing).
    static QString indexWords(const CheckedCatalogue &checked);
    // Asks for the catalogue's location and channel and stores them; true when they changed.
    static bool editSettings(QWidget *parent);

signals:
    // A release's package was fetched and passed its checks; `package.path()` is the kept file.
    void packageReady(const OfferedPackage &package);

private:
    void onIndexLoaded();
    void showRelease(int row);
    void download();
    void onPackageProgress(qint64 received, qint64 total);
    void onPackageLoaded();
    void showWords(const QString &words, const QString &detail = QString());
    void dropClient();
    void setFetching(bool on);

    CatalogueClient *client = nullptr;
    CatalogueTarget target;
    QString lookedUp; // the catalogue's location
    QString channel;
    CatalogueLoad load;
    QList<CatalogueRelease> releases; // matching, newest first
    CatalogueRelease wanted;          // the release being fetched
    bool fetching = false;
    QComboBox *releaseBox;
    QPushButton *downloadButton;
    QLabel *versionWords;
    QLabel *notesWords;
    QLabel *stateWords;
    QProgressBar *progress;
};
