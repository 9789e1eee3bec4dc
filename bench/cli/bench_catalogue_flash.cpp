// velmora-cli flash --from-catalogue against a flash of the same package file, on the simulator.
#include "BenchProcess.h"
#include "BenchServer.h"
#include "CatalogueFixture.h"
#include "SimulatorProcess.h"
#include "TestPackages.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// One flash into a fresh paced simulator; `source` is the package file or the catalogue options.
double flashOnce(const QStringList &source, const QString &flashDir)
{
    SimulatorProcess sim;
    QDir(flashDir).removeRecursively();
    if (!sim.start({QStringLiteral("--role"), QStringLiteral("bootloader"), QStringLiteral("--multi-chip"), QStringLiteral("--pace"),
                    QStringLiteral("--flash-dir"), flashDir}))
        return -1;
    const BenchProcess::RunFigures run = BenchProcess::runCli(
        QStringList{QStringLiteral("flash"), QStringLiteral("--port"), sim.path(), QStringLiteral("--product"), QStringLiteral("4")} + source);
    return run.exitCode == 0 ? run.wallMs : -1;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;

    QTemporaryDir dir;
    QTemporaryDir keys;
    const QString home = dir.filePath(QStringLiteral("home"));
    for (const char *key : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(key, (home + QLatin1Char('/') + QLatin1String(key)).toLocal8Bit());
    qputenv("VELMORA_JOURNAL_FILE", dir.filePath(QStringLiteral("journal.sqlite")).toLocal8Bit());
    qputenv("VELMORA_JOURNAL", QByteArray());
    qputenv("no_proxy", "127.0.0.1");
    const QString package = dir.filePath(QStringLiteral("k5-1.07.ptz"));
    if (writeTestPackage(package, {65536, 65536}, 42).size() != 2 || !MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("maker"))
        || !QDir().mkpath(home + QStringLiteral("/XDG_CONFIG_HOME/Velmora/trusted-keys"))
        || !QFile::copy(QDir(keys.path()).filePath(QStringLiteral("maker.pub")), home + QStringLiteral("/XDG_CONFIG_HOME/Velmora/trusted-keys/maker.pub"))) {
        std::fprintf(stderr, "cannot make the package or the maker's key\n");
        return 1;
    }
    QFile file(package);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();

    // The catalogue on the loopback, served from a thread of its own while the program runs.
    const QByteArray index = CatalogueFixture::index(42, {CatalogueFixture::release(QStringLiteral("1.07"), QStringLiteral("stable"), bytes,
                                                                                    QStringLiteral("k5-1.07.ptz"))});
    const QByteArray signature = CatalogueFixture::writeSigned(QDir(dir.path()), QStringLiteral("catalogue.json"), index, QDir(keys.path()),
                                                               QStringLiteral("maker"));
    BenchServer server({{"/catalogue.json", {200, index, {}, -1}},
                        {"/catalogue.json.minisig", {200, signature, {}, -1}},
                        {"/k5-1.07.ptz", {200, bytes, {}, -1}}},
                       QString());
    const QString base = server.base();

    const QStringList catalogue{QStringLiteral("--from-catalogue"), QStringLiteral("latest"), QStringLiteral("--catalogue"), base};
    const QString kept = home + QStringLiteral("/XDG_CACHE_HOME/Velmora/catalogue");
    std::vector<double> fromFile, fromKept, fetched;
    for (int round = 0; round < rounds; ++round) {
        fromFile.push_back(flashOnce({package}, dir.filePath(QStringLiteral("flash"))));
        QDir(kept).removeRecursively();
        fetched.push_back(flashOnce(catalogue, dir.filePath(QStringLiteral("flash"))));
        fromKept.push_back(flashOnce(catalogue, dir.filePath(QStringLiteral("flash"))));
        if (fromFile.back() < 0 || fetched.back() < 0 || fromKept.back() < 0) {
            std::fprintf(stderr, "a flash failed in round %d\n", round + 1);
            return 1;
        }
    }
    server.stop();

    const double file0 = median(fromFile);
    std::printf("velmora-cli flash, 2 chips x 64 KiB, multi-chip, paced at 115200 baud; median of %d rounds\n", rounds);
    std::printf("  package file                          : %8.0f ms\n", file0);
    std::printf("  --from-catalogue, package kept        : %8.0f ms  ratio %.3f (goal <= 1.02)\n", median(fromKept), median(fromKept) / file0);
    std::printf("  --from-catalogue, package downloaded  : %8.0f ms  ratio %.3f (goal <= 1.02)\n", median(fetched), median(fetched) / file0);
    return 0;
}
