#include "output.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <csignal>
#include <iostream>
#include <sys/stat.h>

std::unique_ptr<QFileDevice> openOutput(const QString &name)
{
    // A device node must never become a plain file. QFileInfo follows symbolic links, and
    // QSaveFile keeps a link and replaces its target.
    const QFileInfo info(name);
    std::unique_ptr<QFileDevice> file;
    if (!info.exists() || info.isFile())
        file = std::make_unique<QSaveFile>(name);
    else
        file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::WriteOnly))
        return nullptr;
    return file;
}

bool cantWrite(const char *what, const char *name)
{
    std::cerr << "Cant write outputFile (" << what << ") '" << name << "'!" << std::endl;
    return false;
}

bool written(bool stepDone, QFileDevice &file, const char *what, const char *name)
{
    // Qt keeps up to 16 KiB per file in its own buffer, and a failed flush is not remembered by
    // commit(): push the buffer out before anything is put in place.
    if (!file.flush() || file.error() != QFileDevice::NoError)
        return cantWrite(what, name);
    return stepDone;
}

bool written(bool stepDone, QDataStream &stream, QFileDevice &file, const char *what,
             const char *name)
{
    if (stream.status() != QDataStream::Ok)
        return cantWrite(what, name);
    return written(stepDone, file, what, name);
}

bool putInPlace(QFileDevice &file, const char *what, const char *name)
{
    auto *saveFile = qobject_cast<QSaveFile *>(&file);
    if (saveFile && !saveFile->commit())
        return cantWrite(what, name);
    return true;
}

static void quietQt(QtMsgType, const QMessageLogContext &, const QString &) { }

void setUpOutputTool()
{
    // stderr carries only the tool's own lines, so that scripts can rely on them.
    qInstallMessageHandler(quietQt);
    signal(SIGPIPE, SIG_IGN);
}

namespace {

// What tells two names of one file apart from two files: the inode of an existing file, the
// resolved path of one that is still to be made.
struct Identity
{
    bool exists = false;
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
    QString path;
};

// The absolute path that creating name would create: symbolic links followed, also dangling ones,
// and the folder made canonical where it exists.
QString pathToCreate(const QString &name)
{
    QString path = QFileInfo(name).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QString target = QFileInfo(path).symLinkTarget(); // absolute, dangling or not
        if (target.isEmpty())
            break;
        path = target;
    }
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? QDir::cleanPath(path) : folder + u'/' + info.fileName();
}

Identity identify(const QString &name)
{
    Identity identity;
    struct stat status;
    if (::stat(QFile::encodeName(name).constData(), &status) == 0) {
        identity.exists = true;
        identity.regular = S_ISREG(status.st_mode);
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
    } else {
        identity.path = pathToCreate(name);
    }
    return identity;
}

bool sameFile(const Identity &a, const Identity &b)
{
    if (a.exists != b.exists)
        return false;
    if (a.exists)
        return a.regular && b.regular && a.device == b.device && a.inode == b.inode;
    return a.path == b.path;
}

} // namespace

bool distinctFiles(const std::vector<RunFile> &files)
{
    std::vector<Identity> identities;
    for (const RunFile &file : files)
        identities.push_back(identify(file.name));
    // Each output against every file before it, inputs first: the line names what would be lost.
    for (size_t i = 0; i < files.size(); ++i) {
        for (size_t j = 0; files[i].output && j < i; ++j) {
            // A missing input is reported by its reader; only outputs are still to be made.
            if ((identities[j].exists || files[j].output) && sameFile(identities[i], identities[j])) {
                std::cerr << "Cant write " << files[i].kind << " '" << files[i].word
                          << "', it is the same file as " << files[j].kind << " '" << files[j].word
                          << "'!" << std::endl;
                return false;
            }
        }
    }
    return true;
}
