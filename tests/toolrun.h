#ifndef TOOLRUN_H
#define TOOLRUN_H

// Runs the built tool as a script would, and looks at the files it leaves behind.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

static const QString tool = QStringLiteral(KESTRINE_TOOL);

struct Result
{
    int status = -1; // -1 also when the tool did not end by itself: killed, hung or not started
    QByteArray out, err;
};

// Runs a built program in dir; fileSizeLimit > 0 makes writes past that many bytes fail with
// EFBIG. whileRunning, if given, is called once it has started, before waiting for its end;
// input, if given, is the program's standard input.
inline Result runProgram(const QString &program, const QString &dir, const QStringList &args,
                         qint64 fileSizeLimit = 0, const QStringList &extraEnv = {},
                         const std::function<void()> &whileRunning = {}, const QByteArray &input = {})
{
    QProcess process;
    process.setWorkingDirectory(dir);
    QStringList env = QProcess::systemEnvironment();
    env.removeIf([](const QString &v) { return v.startsWith("POSIXLY_CORRECT="); });
    process.setEnvironment(env + extraEnv);
    process.setChildProcessModifier([fileSizeLimit] {
        // As a shell leaves it: a vanished reader kills a writer that does not take care.
        signal(SIGPIPE, SIG_DFL);
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{ rlim_t(fileSizeLimit), rlim_t(fileSizeLimit) };
            setrlimit(RLIMIT_FSIZE, &limit);
        }
    });
    process.start(program, args);
    if (!input.isNull() && process.waitForStarted()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (whileRunning && process.waitForStarted())
        whileRunning();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

// The converter, as runProgram runs it.
inline Result runTool(const QString &dir, const QStringList &args, qint64 fileSizeLimit = 0,
                      const QStringList &extraEnv = {},
                      const std::function<void()> &whileRunning = {}, const QByteArray &input = {})
{
    return runProgram(tool, dir, args, fileSizeLimit, extraEnv, whileRunning, input);
}

inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Every entry in a folder with a hash of its contents, to show that a run left nothing behind.
inline QStringList snapshot(const QString &dir)
{
    QStringList entries;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        QByteArray hash = info.isFile()
                ? QCryptographicHash::hash(read(info.filePath()), QCryptographicHash::Sha256).toHex()
                : QByteArray("not a file");
        entries << info.fileName() + ' ' + hash;
    }
    return entries;
}

#endif
