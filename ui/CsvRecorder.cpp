// Records read-out samples to a file.
#include "CsvRecorder.h"

#include "SensorCsv.h"

#include <QFileInfo>

namespace {

constexpr qint64 kFlushMs = 1000;

} // namespace

CsvRecorder::~CsvRecorder()
{
    stop();
}

bool CsvRecorder::start(const QString &path)
{
    stop();
    error.clear();
    rowCount = 0;
    file.setFileName(path);
    const QFileInfo info(path);
    if (path.isEmpty() || (info.exists() && !info.isFile()))
        return fail(QStringLiteral("not a regular file"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(file.errorString());
    if (file.write(SensorCsv::header() + '\n') < 0 || !file.flush())
        return fail(file.errorString());
    return true;
}

bool CsvRecorder::append(qint64 ms, const SensorReadout &r)
{
    if (!file.isOpen())
        return false;
    if (rowCount == 0) {
        firstMs = ms;
        lastFlushMs = ms;
    }
    if (file.write(SensorCsv::row(double(ms - firstMs) / 1000.0, r) + '\n') < 0)
        return fail(file.errorString());
    ++rowCount;
    if (ms - lastFlushMs >= kFlushMs) {
        lastFlushMs = ms;
        if (!file.flush())
            return fail(file.errorString());
    }
    return true;
}

bool CsvRecorder::stop()
{
    if (!file.isOpen())
        return error.isEmpty();
    const bool flushed = file.flush();
    if (!flushed)
        error = file.errorString();
    file.close();
    return flushed;
}

bool CsvRecorder::fail(const QString &reason)
{
    error = reason;
    if (file.isOpen())
        file.close();
    return false;
}
