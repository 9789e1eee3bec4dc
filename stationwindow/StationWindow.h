// The flashing station's window for an operator: the package chosen once at the top, one tile per
// adapter in a grid that fills the screen, the shift's counts, and a scan field for unit serials.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QString>

class Journal;
class QLineEdit;
class StationTile;

class StationWindow : public QMainWindow
{
    Q_OBJECT

public:
    // What `velmora --station` was given; with a package (or a catalogue release) and a product,
    // the station starts at once.
    struct Options
    {
        QString package;        // a .ptz file
        QString fromCatalogue;  // "latest" or a version; excludes `package`
        int productRow = -1;    // -1: not given
        bool check = false;     // check that each new firmware runs
    };

    // `journal` keeps every attempt's record (may be null: nothing is recorded).
    explicit StationWindow(const Options &options, Journal *journal, QWidget *parent = nullptr);
    ~StationWindow() override;

    // The tile of `port`; null when the adapter has none.
    StationTile *tile(const QString &port) const { return tiles.value(port); }
    QList<StationTile *> allTiles() const { return tiles.values(); }
    // The field a barcode scanner types into.
    QLineEdit *scanField() const { return scan; }
    // Whether a station runs (started, not stopped).
    bool isRunning() const { return running; }

private:
    Options options;
    Journal *journal;
    QHash<QString, StationTile *> tiles;
    QLineEdit *scan = nullptr;
    bool running = false;
};
