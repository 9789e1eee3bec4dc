// Writes read-out samples to a CSV file with the shared recording columns, the time counted
// from the first recorded sample. Rows are written as they come and flushed about once a
// second, so a crash loses at most a second; a failed write ends the recording and says why.
#pragma once

#include "SensorReadout.h"

#include <QFile>
#include <QString>

class CsvRecorder
{
public:
    CsvRecorder() = default;
    ~CsvRecorder();
    CsvRecorder(const CsvRecorder &) = delete;
    CsvRecorder &operator=(const CsvRecorder &) = delete;

    // Creates or truncates the regular file at `path` and writes the header. Refuses anything
    // that is not a regular file (a directory, a FIFO, a device): opening a FIFO would block.
    bool start(const QString &path);
    // Adds one row; false (and the recording ended) when the file cannot take it.
    bool append(qint64 ms, const SensorReadout &r);
    // Flushes and closes; false when the last rows could not be written.
    bool stop();

    bool isRecording() const { return file.isOpen(); }
    QString path() const { return file.fileName(); }
    qint64 rows() const { return rowCount; }
    // Why the last start, append or stop failed.
    QString errorString() const { return error; }

private:
    bool fail(const QString &reason);

    QFile file;
    QString error;
    qint64 firstMs = 0;
    qint64 lastFlushMs = 0;
    qint64 rowCount = 0;
};
