// The program's only window: port list and port handling, gimbal link display, live read-out
// and the calibration tab. It creates and wires every long-lived object.
#pragma once

#include <QMainWindow>
#include <QStringList>

class CalibrateService;
class PortEnumerator;
class PortListener;
class QCloseEvent;
class QTimer;
class SerialPort;
class StarsLink;
class StarsService;
class Ui_MainWindow;
struct PortInfo;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `enumerator` lists the serial ports (the window takes ownership); null means the system's.
    explicit MainWindow(PortEnumerator *enumerator = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *e) override;

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
    void on_productType_currentIndexChanged(int index);
    void onPortLost(const QString &reason, quint64 generation);

private:
    void showStatus(const QString &text);
    void applyProduct(int row);
    void openPort();
    void closePort();
    void stopServices();
    // The read-out ticks only while there is something to show: the port open or the link up.
    void updateReadoutTimer();
    QStringList listedPortNames() const;

    Ui_MainWindow *ui;
    StarsService *starsService;
    CalibrateService *calibrateService;
    SerialPort *port;
    PortEnumerator *enumerator;
    QTimer *uiTimer;
    PortListener *portListener;
    StarsLink *starsLink;
    QStringList portNames;
    bool linkUp;
    bool calibrating;
    bool portOpened;      // the window shows the port as open (cleared by a close or a loss)
    quint64 openedGeneration = 0; // the port's opening that the window shows as open
    bool servicesStopped;
    int productIndex;
};
