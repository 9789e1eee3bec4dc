// A program recording catalogue sequences, for the test of programs recording at once.
//   sequence_writer FILE NAME COUNT
// Records sequence I for each of COUNT catalogue URLs of its own (https://NAME.example/I/), one
// after another, in the sequence file FILE; each URL is recorded once, so an entry another
// program's write drops stays dropped. Says why on stderr and ends with 1 if one was not kept.
#include "SequenceStore.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    SequenceStore store(args.value(1));
    const int count = args.value(3).toInt();
    for (int i = 1; i <= count; ++i) {
        const QString unkept = store.record(QStringLiteral("https://%1.example/%2/").arg(args.value(2)).arg(i), i);
        if (!unkept.isEmpty()) {
            std::fprintf(stderr, "sequence_writer: %s\n", qPrintable(unkept));
            return 1;
        }
    }
    return 0;
}
