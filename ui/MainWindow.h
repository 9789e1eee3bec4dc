// The program's only window: port list and port handling, gimbal link display, live read-out,
// the calibration tab and the firmware tab. It creates and wires every long-lived object.
#pragma once

#include "Attempts.h"
#include "CatalogueOffer.h"
#include "CheckedPackage.h"
#include "ChipProgress.h"
#include "DeviceInfo.h"
#include "PackageSignature.h"
#include "ReadoutBox.h"
#include "ReconnectPolicy.h"
#include "SerialPort.h"
#include "UpdateOutcome.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <optional>

class BootloaderLink;
class CalibrateService;
class HistoryWindow;
class Journal;
class LinkHints;
class QCheckBox;
class QLabel;
class QTableView;
class PortEnumerator;
class PortListener;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QStandardItemModel;
class QToolButton;
class SensorPlotWindow;
class QTimer;
class StarsLink;
class StarsService;
class Ui_MainWindow;
class UpdateService;
struct PortInfo;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `enumerator` lists the serial ports (the window takes ownership); null means the system's.
    explicit MainWindow(PortEnumerator *enumerator = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Where the package in the package box came from, while a catalogue download put it there;
    // empty once another package is chosen.
    const std::optional<OfferedPackage> &offeredPackage() const { return packageOrigin; }

protected:
    void closeEvent(QCloseEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private slots:
    void onTimerUpdate();
    void onUiUpdate();
    void onDeviceDiscovered(const PortInfo &info);
    void onDeviceRemoved(const PortInfo &info);
    void on_openportButton_clicked();
    void on_calibrateButton_clicked();
    void onDirectionChanged(int index);
    void onConnected(bool value);
    void onFinishd(bool value);
    // Firmware tab (MainWindowFirmware.cpp).
    void on_connectButton_clicked();
    void on_browseButton_clicked();
    void on_downloadButton_clicked();
    void onConnectTimeout(int ms);
    void onUpdateReport(int type, QString msg);
    void onProgressUpdate(int value);
    void onUpdateStep(const UpdateOutcome &step);
    void deviceListUpdate(QList<deviceInfo> devices);
    void on_tabWidget_currentChanged(int index);
    // The combo box has no text-carrying index signal in Qt 6: the item's text is looked up.
    void on_pathComboBox_currentIndexChanged(int index);
    void on_productType_currentIndexChanged(int index);
    void onPortLost(const QString &reason, quint64 generation);
    void showPlotWindow();
    void onGyroscopeStep();
    // Journal (MainWindowJournal.cpp).
    void onChipsListed(const QList<chipInfo> &chips);
    void onUpdateOutcome(const UpdateOutcome &outcome);
    void onCalibrationOutcome(const CalibrationOutcome &outcome);
    // The check (MainWindowCheck.cpp).
    void on_checkButton_clicked();
    void onCheckWaiting();
    void onCheckMeasuring();
    void onCheckFinished(const CheckOutcome &outcome);
    void onJournalProblem(const QString &text);
    void showHistoryWindow();

private:
    void showStatus(const QString &text);
    void applyProduct(int row);
    void openPort();
    // `byUser`: the user's Close (never reopened by itself) rather than a lost adapter.
    void closePort(bool byUser);
    // Restores the product, the last port and the package paths the window remembers.
    void restoreSettings();
    // The words under the step picture and beside the progress bar.
    void setUpWords();
    // Says on opening `name` that an update there did not finish, and preselects its package.
    void hintInterruptedUpdate(const PortInfo &opened);
    // The listing's entry for the open port (only its name when it is not listed).
    PortInfo openedPortInfo() const;
    void endUpdateWrite();
    QString productName() const;
    void stopServices();
    // The read-out ticks only while there is something to show: the port open or the link up.
    void updateReadoutTimer();
    QStringList listedPortNames() const;
    void fillPortBox();
    // Says in the status bar why nothing can be opened while no adapter is listed, and takes
    // that back once one is.
    void tellMissingAdapter();
    QString openFailureText(SerialPort::OpenError reason);
    // Firmware tab (MainWindowFirmware.cpp).
    void setUpFirmwareTab();
    // Attaches the port worker to the runtime link (0) or the bootloader link (1).
    void switchLink(int tab);
    void showPackageInfo(const QString &path);
    // The catalogue's group in the firmware tab and the corner button that sets the catalogue.
    void setUpCatalogue();
    // Everything the window asked of the update service is void after a cancel.
    void cancelUpdate();
    // Whether the update may be cancelled now: while pages are written the user is asked,
    // since giving up leaves the gimbal in its bootloader.
    bool mayStopUpdate();
    // Journal (MainWindowJournal.cpp).
    void setUpJournal();
    // The package's signature beside its file info, and the "Only signed packages" choice.
    void setUpSignatureWidgets();
    void showSignature(const SignatureCheck &check);
    // Says in the status bar why a package was refused at Upgrade.
    void showRefusal(PackageCheck::Refusal refusal);
    // The package Upgrade writes: the catalogue's as its client checked it when `path` is
    // the offered one, else the file at `path` read and checked once now; nullopt when refused.
    std::optional<CheckedPackage> packageToWrite(const QString &path);
    // A Connect starts an update attempt; one still open from before ended unreported.
    void beginUpdateAttempt();
    // Records the open attempt now when the engine will not report its end (it was waiting
    // for a package when it was cancelled).
    void endAttemptOnCancel();
    void beginCalibrationRun();
    // An on-demand check starts its record; the engine's end of it finishes the record.
    void beginCheckRun();
    void recordCheckRun(const CheckOutcome &outcome);
    // The check (MainWindowCheck.cpp): its table and words under the picture, and its signals.
    void setUpCheck();
    void clearCheckFigures();
    void showCheckWords(const QString &words);
    // Enabled while the gimbal is connected and neither a calibration nor a check runs.
    void updateCheckButton();
    // The services were cancelled: until the link is announced again the check would end at once.
    void checkLinkLost();
    // Hands the machine's limits to the service; false, said in words, when its file is refused.
    bool takeCheckLimits();
    // A calibration's own check: its figures after a save, and the words when it did not pass.
    void showCalibrationCheck(const CalibrationOutcome &outcome);
    // At close: takes the ends the stopped services reported, then records what is still open
    // as cancelled.
    void recordOpenAttempts();
    bool recordInJournal(const JournalRecord &record);
    // The line under the chip table: when the journal last saw each listed chip updated.
    void showChipHistory();
    void showJournalProblem(const QString &words, bool sending);

    Ui_MainWindow *ui;
    StarsService *starsService;
    CalibrateService *calibrateService;
    BootloaderLink *bootloaderLink;
    UpdateService *updateService;
    SerialPort *port;
    PortEnumerator *enumerator;
    QTimer *uiTimer;
    PortListener *portListener;
    StarsLink *starsLink;
    QStandardItemModel *firmwareModel;
    QStandardItemModel *deviceModel;
    QStringList portNames;
    bool linkUp;
    bool calibrating;
    bool portOpened;      // the window shows the port as open (cleared by a close or a loss)
    quint64 openedGeneration = 0; // the port's opening that the window shows as open
    bool servicesStopped;
    int productIndex;
    int activeTab;        // 0: calibration tab current, 1: firmware tab current
    // The eight read-out boxes in the order onUiUpdate fills them.
    ReadoutBox readoutBoxes[8];
    QToolButton *plotButton;
    SensorPlotWindow *plotWindow = nullptr; // made on the first click of plotButton
    ReconnectPolicy reconnect;
    LinkHints *linkHints = nullptr;
    ChipProgress chipProgress;
    QLabel *stepWords = nullptr;  // what to do at the current calibration step
    QLabel *chipWords = nullptr;  // which chip is being written, how long is left
    bool updateWriting = false;   // the update button was pressed and no end was reported yet
    bool settingsRestored = false; // choices are remembered only once the stored ones are shown
    Journal *journal = nullptr;
    UpdateAttempt updateAttempt;        // from Connect to the engine's end of it
    bool attemptAwaitsPackage = false;  // listed, and Update not pressed yet
    bool attemptPortLost = false;       // the adapter went away mid-attempt
    JournalRecord calibrationRun;       // null id while no run is open
    int calibrationStep = 0;            // the step the open run was last seen at
    bool checking = false;              // the Check button was pressed and no end was reported yet
    bool linkAnnounced = false;         // connected(true) came after the services' last cancel
    JournalRecord checkRun;             // null id while no on-demand check is open
    // Calibrations of the connected gimbal whose check did not pass (a second one points at the sensor).
    int calibrationCheckFailures = 0;
    QTableView *checkTable = nullptr;           // a check's figures, under the picture
    QStandardItemModel *checkModel = nullptr;
    QLabel *checkWords = nullptr;               // the check's verdict, or why it did not pass
    QList<chipInfo> listedChips;
    QLabel *chipHistoryWords = nullptr; // under the chip table
    QLabel *signatureWords = nullptr;   // who signed the package shown, beside its file info
    QCheckBox *onlySignedBox = nullptr;
    QLabel *journalProblem = nullptr;   // in the status bar while the journal has a problem
    bool journalProblemIsSend = false;
    bool journalWriting = false;        // a local write is under way (its problem is a write's)
    QToolButton *historyButton = nullptr;
    HistoryWindow *historyWindow = nullptr; // made on the first click of historyButton
    CatalogueOffer *catalogueOffer = nullptr;
    QToolButton *catalogueButton = nullptr;      // in the tabs' corner while the firmware tab shows
    std::optional<OfferedPackage> packageOrigin; // see offeredPackage()
};
