#include "output.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <csignal>
#include <iostream>

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
