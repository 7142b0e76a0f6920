// Benchmark driver: applies the patches of a published release whose keys
// start with a prefix, one after the other with PatchApplyFunc::run(), to
// the earlier contents in an installation, and writes the results below an
// output directory.
//
//   patchbench <installation dir> <release dir> <update type> <key prefix> <output dir>
//
// Output: one line "files=<n> bytes=<result bytes> seconds=<s> mb_per_s=<output MB/s> ok=<0|1>".

#include "benchsupport.h"
#include "fileops/patchapplyfunc.h"
#include "manifest/patchindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

namespace {

int apply(const QString& installation, const QString& release, const QString& type, const QString& prefix,
    const QString& output)
{
    QFile file(QDir(release).filePath(PatchIndex::fileName(type)));
    PatchIndex index;
    QStringList problems;
    if (!file.open(QIODevice::ReadOnly) || !index.parse(file.readAll(), &problems) || !problems.isEmpty()) {
        QTextStream(stderr) << "cannot read the patch index of " << release << ": "
                            << problems.join(QLatin1String("; ")) << Qt::endl;
        return 2;
    }
    int files = 0;
    qint64 bytes = 0;
    bool ok = true;
    QElapsedTimer timer;
    timer.start();
    for (const PatchIndex::Entry& entry : std::as_const(index.entries)) {
        if (!entry.key.startsWith(prefix))
            continue;
        // Only plain files are in the prefix's reach: the key is the installed path.
        FilePatchSpecification patch;
        patch.path = entry.path;
        patch.md5 = ContentSum::fromText(entry.md5, index.algorithm);
        patch.size = entry.size;
        patch.basePath = entry.key;
        patch.resultMd5 = ContentSum::fromText(entry.resultMd5, index.algorithm);
        patch.resultSize = entry.resultSize;
        const QString basePath = QDir(installation).filePath(entry.key);
        if (!FileStamp::of(basePath, patch.baseStamp)) {
            QTextStream(stderr) << "no earlier content at " << basePath << Qt::endl;
            return 2;
        }
        PatchApplyFunc func(
            patch, basePath, QDir(release).filePath(entry.path), QDir(output).filePath(entry.key));
        QObject::connect(&func, &ASyncFunc::message, &func,
            [](const QString& text) { QTextStream(stderr) << text << Qt::endl; });
        ok = func.run() && ok;
        ++files;
        bytes += entry.resultSize;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    QTextStream(stdout) << "files=" << files << " bytes=" << bytes << " seconds=" << seconds
                        << " mb_per_s=" << (seconds > 0 ? bytes / seconds / 1e6 : 0) << " ok=" << (ok ? 1 : 0)
                        << Qt::endl;
    return ok && files > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6)
        return apply(args.at(1), args.at(2), args.at(3), args.at(4), args.at(5));
    QTextStream(stderr) << "usage: patchbench <installation dir> <release dir> <update type> <key prefix> "
                           "<output dir>\n";
    return 2;
}
