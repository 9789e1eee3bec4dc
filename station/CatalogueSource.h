// The package for a gimbal's listed chips from the maker's catalogue, for flash and the station --from-catalogue.
#pragma once

#include "Attempts.h"
#include "CatalogueClient.h"
#include "CatalogueOrigin.h"
#include "ChipInfo.h"

#include <QList>
#include <QObject>
#include <functional>
#include <optional>

// What the catalogue gave for one gimbal: the package (still to be admitted by the session:
// its own check is in it), or the reason there is none. `origin` holds what was known.
struct CatalogueResult
{
    CatalogueReason refusal = CatalogueReason::None;
    QString detail;
    std::optional<PackageCheck> package;
    CatalogueOrigin origin;
    bool fromCache = false;   // the package was the kept one
    bool indexFromCache = false;

    bool given() const { return refusal == CatalogueReason::None && package.has_value(); }
    // The refusal as the journal records it.
    UpdateEnding ending() const;
};

// Takes requests one at a time (the client serves one), in the order they came; the index is
// loaded and checked once, for every gimbal of the run.
class CatalogueSource : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QString wanted;  // "latest" or a version
        QString channel; // followed channel
        bool allowOlder = false;
    };

    CatalogueSource(const CatalogueClient::Settings &settings, const Request &request, QObject *parent = nullptr);

    // Finds the release for `chips` and fetches it; `done` is called once, from the event loop.
    void resolve(const QList<chipInfo> &chips, std::function<void(const CatalogueResult &)> done);

    // The index as it was loaded (valid once a result came).
    const CatalogueLoad &index() const { return client.lastIndex(); }

private:
    struct Job
    {
        QList<chipInfo> chips;
        std::function<void(const CatalogueResult &)> done;
    };
    void next();
    void choose();
    void packageLoaded();
    void end();

    CatalogueClient client;
    QString location;
    Request request;
    QList<Job> jobs;
    bool busy = false;
    bool indexLoaded = false;
    CatalogueResult current;
};
