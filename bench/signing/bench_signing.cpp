// Signature checks: the time to verify a 64 KiB and a 64 MiB package, in both of minisign's
// algorithms, with keys and signatures made by Debian's minisign.
//   bench_signing [ROUNDS] [--flash N]
// --flash N: velmora-cli flash of the demo package into the simulator, N times signed (key
// trusted, signature checked) and N times unsigned, in turns, in one run.
#include "MinisignTool.h"
#include "PackageSignature.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

qint64 flashOnce(const QString &package, const QString &configHome)
{
    SimulatorProcess sim;
    if (!sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip")}))
        return -1;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    cli.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-cli"),
              {QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"), QStringLiteral("4"), package});
    if (!cli.waitForFinished(120000) || cli.exitCode() != 0)
        return -1;
    return clock.elapsed();
}

void flashSignedAndUnsigned(const QDir &keys, int rounds)
{
    const QString trusted = keys.filePath(QStringLiteral("config/Velmora/trusted-keys"));
    QDir().mkpath(trusted);
    QFile::copy(keys.filePath(QStringLiteral("maker.pub")), trusted + QStringLiteral("/maker.pub"));
    const QString signedPackage = keys.filePath(QStringLiteral("signed.ptz"));
    const QString plainPackage = keys.filePath(QStringLiteral("plain.ptz"));
    QFile::copy(QStringLiteral(VELMORA_DEMO_PACKAGE), signedPackage);
    QFile::copy(QStringLiteral(VELMORA_DEMO_PACKAGE), plainPackage);
    MinisignTool::sign(keys, QStringLiteral("maker"), signedPackage, QStringLiteral("bench"));
    std::vector<double> with, without;
    for (int i = 0; i < rounds; ++i) {
        with.push_back(double(flashOnce(signedPackage, keys.filePath(QStringLiteral("config")))));
        without.push_back(double(flashOnce(plainPackage, keys.filePath(QStringLiteral("config")))));
    }
    std::sort(with.begin(), with.end());
    std::sort(without.begin(), without.end());
    const double a = with[with.size() / 2], b = without[without.size() / 2];
    std::printf("velmora-cli flash of the demo package, %d rounds each in turns: median %.0f ms signed, %.0f ms "
                "unsigned, ratio %.3f\n", rounds, a, b, a / b);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = qMax(1, app.arguments().value(1, QStringLiteral("20")).toInt());
    QTemporaryDir dir;
    const QDir keys(dir.path());
    if (!MinisignTool::makeKey(keys, QStringLiteral("maker")))
        return 1;
    MinisignKey key;
    QString why;
    TrustedKeys::loadFile(keys.filePath(QStringLiteral("maker.pub")), &key, &why);
    const qsizetype flashAt = app.arguments().indexOf(QStringLiteral("--flash"));
    if (flashAt > 0) {
        flashSignedAndUnsigned(keys, qMax(1, app.arguments().value(flashAt + 1).toInt()));
        return 0;
    }
    for (const qint64 size : {qint64(64) << 10, qint64(64) << 20}) {
        QByteArray package(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            package[i] = char((i * 2654435761u) >> 13);
        const QString path = dir.filePath(QStringLiteral("p-%1.ptz").arg(size));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(package);
        file.close();
        for (const bool legacy : {false, true}) {
            if (!MinisignTool::sign(keys, QStringLiteral("maker"), path, QStringLiteral("bench"), legacy))
                return 1;
            std::vector<double> ms;
            for (int r = 0; r < rounds; ++r) {
                QElapsedTimer clock;
                clock.start();
                const SignatureCheck check = PackageSignature::check(package, path, {key});
                ms.push_back(double(clock.nsecsElapsed()) / 1e6);
                if (check.state != SignatureCheck::State::Valid)
                    std::printf("not valid!\n");
            }
            std::sort(ms.begin(), ms.end());
            std::printf("verify %s package, %s: median %.3f ms, max %.3f ms (%d rounds)\n",
                        size < (1 << 20) ? "64 KiB" : "64 MiB", legacy ? "legacy" : "prehashed", ms[ms.size() / 2],
                        ms.back(), rounds);
        }
    }
    return 0;
}
