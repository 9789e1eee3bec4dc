// The flashing station's window for an operator: the package chosen once at the top, one tile per
// adapter in a grid that fills the screen, the shift's counts, and a scan field for unit serials.
#pragma once

#include "LatestRun.h"
#include "Station.h"

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>

class Journal;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
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
    // The shift's figures today on this station, from the journal.
    struct Shift
    {
        int passed = 0; // gimbals whose last attempt passed
        int failed = 0; // gimbals whose last attempt failed (refusals are not the gimbal's)
        std::optional<double> firstPassYield;
        QString error;
    };

    // Reads the options that follow --station in `arguments` (the program's, Qt's own taken out);
    // false with the reason in `error` for a mistake.
    static bool parseOptions(const QStringList &arguments, Options *options, QString *error);

    // `journal` keeps every attempt's record (may be null: nothing is recorded).
    explicit StationWindow(const Options &options, Journal *journal, QWidget *parent = nullptr);
    ~StationWindow() override;

    // The tile of `port`; null when the adapter has none.
    StationTile *tile(const QString &port) const { return tiles.value(port); }
    QList<StationTile *> allTiles() const { return tiles.values(); }
    // The field a barcode scanner types into.
    QLineEdit *scanField() const { return scan; }
    // What the last scan came to, in words.
    QString scanWords() const;
    // Whether a station runs (started, not stopped).
    bool isRunning() const { return station != nullptr; }
    // The station running; null when none.
    Station *currentStation() const { return station.get(); }
    // Starts the station with the package (or catalogue) and product chosen; false, with the
    // reason shown, when they cannot be used.
    bool startStation();

signals:
    // The journal's figures for the shift were shown (after each record and at the start).
    void shiftShown();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildTop();
    void choosePackage();
    // The operator changed what the station writes: refused while a gimbal is being written.
    bool mayChange();
    void stopStation();
    void onStartClicked();
    void onScan();
    void pick(const QString &port);
    StationTile *tileFor(const QString &port);
    void arrangeTiles();
    void wireStation();
    void onConcluded(const QString &port, const JournalRecord &record, Station::Result result, BootCheck check);
    void refreshShift();
    void showShift(const Shift &shift);
    void notice(const QString &words);

    Options options;
    Journal *journal;
    std::unique_ptr<Station> station;
    QHash<QString, StationTile *> tiles;
    QString picked;
    bool closing = false;
    LatestRun<Shift> shiftRun;

    QLineEdit *packageBox = nullptr;
    QPushButton *browseButton = nullptr;
    QPushButton *catalogueButton = nullptr;
    QComboBox *productBox = nullptr;
    QCheckBox *checkBox = nullptr;
    QPushButton *startButton = nullptr;
    QLabel *shiftLabel = nullptr;
    QLabel *noticeLabel = nullptr;
    QLineEdit *scan = nullptr;
    QLabel *scanLabel = nullptr;
    QWidget *grid = nullptr;
    QGridLayout *gridLayout = nullptr;
};
