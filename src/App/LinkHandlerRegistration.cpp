#include "App/LinkHandlerRegistration.h"

#include "Services/AtomicFile.h"
#include "Services/LogService.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr int kAnswerMs = 10'000;

// A value of Exec: the program as it is when it holds only plain characters (xdg-open's
// own reading of entries takes no quotes), else in double quotes with the characters
// the desktop entry format reserves escaped, and "%" doubled. The file's strings undo
// one level of backslashes before the quotes are read, hence two per escape.
QString quotedProgram(const QString& program)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(program).hasMatch())
        return program;
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\\'))
            quoted += QStringLiteral("\\\\\\");
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The folders desktop entries are looked up in, the user's first.
QStringList entryFolders()
{
    return QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("applications"),
                                     QStandardPaths::LocateDirectory);
}

// The program an Exec line starts (its first word, quoted or not).
QString programOf(const QString& exec)
{
    // The string's own escapes first ("\\\\" is one backslash), then the quoting's.
    QString line;
    const QString raw = exec.trimmed();
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size() && raw[i + 1] == QLatin1Char('\\'))
            ++i;
        line += raw[i];
    }
    if (line.startsWith(QLatin1Char('"'))) {
        QString program;
        for (qsizetype i = 1; i < line.size(); ++i) {
            if (line[i] == QLatin1Char('\\') && i + 1 < line.size()) {
                program += line[++i];
                continue;
            }
            if (line[i] == QLatin1Char('"'))
                break;
            program += line[i];
        }
        return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    return line.section(QLatin1Char(' '), 0, 0);
}

} // namespace

LinkHandlerRegistration::LinkHandlerRegistration(QString program, QObject* parent)
    : QObject(parent), m_program(std::move(program))
{
}

QString LinkHandlerRegistration::userEntriesFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("applications"));
}

QString LinkHandlerRegistration::programIn(const QByteArray& entry)
{
    QString exec;
    bool inEntry = false;
    for (const QByteArray& raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('['))
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.startsWith("Exec="))
            exec = QString::fromUtf8(line.mid(5));
    }
    return programOf(exec);
}

QByteArray LinkHandlerRegistration::desktopEntry(const QString& program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quillo\n"
                          "Comment=Opens quillo:// links (cloud sign-in, restoring a backup) in Quillo\n"
                          "Exec=%1 %u\n"
                          "MimeType=%2;\n"
                          "NoDisplay=true\n"
                          "Terminal=false\n")
        .arg(quotedProgram(program), QLatin1String(mimeType))
        .toUtf8();
}

bool LinkHandlerRegistration::usable(const QString& entry)
{
    if (entry.isEmpty() || entry.contains(QLatin1Char('/')))
        return false;
    for (const QString& folder : entryFolders()) {
        const QString path = QDir(folder).filePath(entry);
        if (!QFileInfo(path).isFile())
            continue;
        const auto bytes = AtomicFile::read(path);
        if (!bytes || bytes.value().size() > 256 * 1024)
            return false;
        const QString program = programIn(bytes.value());
        if (program.isEmpty())
            return false;
        // A bare name is found on PATH; a path must lead to a program.
        return program.contains(QLatin1Char('/')) ? QFileInfo(program).isExecutable()
                                                  : !QStandardPaths::findExecutable(program).isEmpty();
    }
    return false;
}

void LinkHandlerRegistration::start()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()) {
        appLog(QStringLiteral("quillo:// links cannot be checked or registered: xdg-mime (xdg-utils) is not installed"),
               LogEntry::Level::warn);
        Q_EMIT finished(false);
        return;
    }
    auto* query = new QProcess(this);
    query->setProcessChannelMode(QProcess::SeparateChannels);
    connect(query, &QProcess::finished, this, [this, query](int, QProcess::ExitStatus status) {
        query->deleteLater();
        if (status == QProcess::CrashExit) { // no answer in time: nothing is known, nothing changed
            appLog(QStringLiteral("quillo:// links: xdg-mime did not say which program opens them"), LogEntry::Level::warn);
            Q_EMIT finished(false);
            return;
        }
        answered(QString::fromUtf8(query->readAllStandardOutput().left(4096)).trimmed());
    });
    connect(query, &QProcess::errorOccurred, this, [this, query](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        query->deleteLater();
        answered(QString());
    });
    query->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), QLatin1String(mimeType)});
    QTimer::singleShot(kAnswerMs, query, [query] { query->kill(); });
}

void LinkHandlerRegistration::answered(const QString& handler)
{
    // Ours from an earlier run stays while its program is there (a build that went is replaced).
    if (usable(handler)) {
        appLog(QStringLiteral("quillo:// links open with %1").arg(handler), LogEntry::Level::debug);
        Q_EMIT finished(false);
        return;
    }
    registerOwn();
}

void LinkHandlerRegistration::registerOwn()
{
    const QString folder = userEntriesFolder();
    const QString path = QDir(folder).filePath(QLatin1String(entryName));
    if (!QDir().mkpath(folder)) {
        appLog(QStringLiteral("quillo:// links cannot be registered: the folder %1 cannot be made").arg(folder),
               LogEntry::Level::warn);
        Q_EMIT finished(false);
        return;
    }
    if (auto written = AtomicFile::write(path, desktopEntry(m_program)); !written) {
        appLog(QStringLiteral("quillo:// links cannot be registered: ") + written.error().description(),
               LogEntry::Level::warn);
        Q_EMIT finished(false);
        return;
    }
    auto* choose = new QProcess(this);
    connect(choose, &QProcess::finished, this, [this, choose, path](int code, QProcess::ExitStatus status) {
        choose->deleteLater();
        if (status == QProcess::CrashExit || code != 0) {
            appLog(QStringLiteral("quillo:// links: xdg-mime did not make %1 the default (exit %2)").arg(path).arg(code),
                   LogEntry::Level::warn);
            Q_EMIT finished(false);
            return;
        }
        appLog(QStringLiteral("No program opened quillo:// links for this user: registered this Quillo (%1) in %2")
                   .arg(m_program, path),
               LogEntry::Level::info);
        Q_EMIT finished(true);
    });
    connect(choose, &QProcess::errorOccurred, this, [this, choose](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        choose->deleteLater();
        appLog(QStringLiteral("quillo:// links: xdg-mime could not be started"), LogEntry::Level::warn);
        Q_EMIT finished(false);
    });
    choose->start(QStringLiteral("xdg-mime"), {QStringLiteral("default"), QLatin1String(entryName), QLatin1String(mimeType)});
    QTimer::singleShot(kAnswerMs, choose, [choose] { choose->kill(); });
}
