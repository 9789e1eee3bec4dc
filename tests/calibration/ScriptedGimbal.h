// A scripted stand-in for the gimbal's runtime firmware, as seen by the calibration procedure.
#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

class CalibrateService;

// Answers the calibration's requests the way the gimbal does, a short while after each one:
// it writes the registers of `registerTable` (profile 2 codes) that the request service would
// poll back. A simulated user places the gimbal at each face the procedure asks for. Like the
// request service, it answers one register every 10 ms (the answer counts move, the values
// stay as set), so a check sees fresh readings about every 100 ms.
class ScriptedGimbal : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        uint16_t cmd;
        uint16_t value;
        uint32_t timeout;
        bool operator==(const Request &other) const
        {
            return cmd == other.cmd && value == other.value && timeout == other.timeout;
        }
    };
    enum class SolveOutcome { Solved, Failed, SolvedAndFailed };

    // Connects to `service`, loads the profile 2 codes, clears the values and leaves the gimbal
    // ready, still and tilted so that it matches no face.
    explicit ScriptedGimbal(CalibrateService *service, QObject *parent = nullptr);

    // How many workMode writes and status clears take effect; negative means all.
    int modeWritesHonoured = -1;
    int clearsHonoured = -1;
    SolveOutcome solveOutcome = SolveOutcome::Solved;
    // The save command's outcome; none: the gimbal never answers it.
    std::optional<bool> saveAnswer = true;
    // Whether the simulated user follows each requested face.
    bool userPlacesGimbal = true;
    // How long after a request it takes effect, in milliseconds (15 unless set).
    std::function<int(const Request &)> effectDelayMs;
    // Whether face captures take effect at all.
    bool capturesFaces = true;
    // Called after each request has taken effect, to script what happens next.
    std::function<void(const Request &)> afterRequest;

    void setReady(bool ready);
    // Holds the gimbal still with gravity along face `face` (1 to 6); 0 tilts it between faces.
    void placeAt(int face);
    void setMotion(int16_t hundredths);
    // The gyroscope words (counts; 0 unless set).
    void setRate(int16_t x, int16_t y, int16_t z);
    // Whether registers keep being answered (on unless set).
    void setPolling(bool on);

    const QList<Request> &requests() const { return received; }

    static uint16_t workModeWrite();
    static uint16_t calibCommandWrite();

private:
    void onTransmit(uint16_t cmd, uint16_t value, uint32_t timeout);
    void apply(const Request &request);
    void applyCalibCommand(uint16_t value);
    static bool consume(int &allowance);

    CalibrateService *service;
    int placedFace = 0;
    QList<Request> received;
    QTimer poller;
    int nextPolled = 0;
};
