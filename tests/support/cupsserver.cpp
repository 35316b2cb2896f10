#include "support/cupsserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cups/cups.h>

#include <csignal>

namespace {

bool WriteText(const QString &path, const QString &text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(text.toUtf8()) == text.toUtf8().size();
}

QString FindCupsd()
{
    for (const char *p : { "/usr/sbin/cupsd", "/sbin/cupsd" })
        if (QFileInfo::exists(QString::fromLatin1(p)))
            return QString::fromLatin1(p);
    return QString();
}

} // namespace

CupsServer::CupsServer()
{
    started_ = Start();
}

CupsServer::~CupsServer()
{
    cupsd_.Stop(SIGTERM, 3000);
    cupsSetServer(nullptr);
    qunsetenv("CUPS_SERVER");
}

void CupsServer::Kill()
{
    cupsd_.Stop(SIGKILL, 3000);
}

QString CupsServer::SocketPath() const
{
    return dir_ ? dir_->filePath(QStringLiteral("cups.sock")) : QString();
}

bool CupsServer::Start()
{
    const QString cupsd = FindCupsd();
    if (cupsd.isEmpty()) {
        error_ = QStringLiteral("cupsd is not installed");
        return false;
    }
    // The scheduler's helpers run as lp: every directory on the way must be
    // traversable.
    dir_ = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tarvolin-cups-XXXXXX"));
    if (!dir_->isValid()) {
        error_ = QStringLiteral("no temporary directory");
        return false;
    }
    const QString root = dir_->path();
    QFile::setPermissions(root,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                              | QFileDevice::ReadOther | QFileDevice::ExeOther);
    for (const char *sub : { "spool", "spool/tmp", "cache", "state", "log", "ppd" })
        QDir(root).mkpath(QString::fromLatin1(sub));

    const QString files
        = QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                         "CacheDir %1/cache\nStateDir %1/state\nAccessLog %1/log/access_log\n"
                         "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                         "Printcap %1/printcap\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                         "SystemGroup root\nFileDevice No\n")
              .arg(root);
    const QString conf
        = QStringLiteral("Listen %1/cups.sock\nBrowsing No\nWebInterface No\n"
                         "DefaultAuthType None\nLogLevel warn\nMaxJobs 0\nPreserveJobHistory No\n"
                         "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                         "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                         "</Policy>\n")
              .arg(root);
    if (!WriteText(root + QStringLiteral("/cups-files.conf"), files)
        || !WriteText(root + QStringLiteral("/cupsd.conf"), conf)) {
        error_ = QStringLiteral("cannot write configuration");
        return false;
    }

    if (!cupsd_.Start(cupsd,
                      { QStringLiteral("-f"), QStringLiteral("-c"),
                        root + QStringLiteral("/cupsd.conf"), QStringLiteral("-s"),
                        root + QStringLiteral("/cups-files.conf") },
                      true)) {
        error_ = QStringLiteral("cupsd did not start: ") + cupsd_.Error();
        return false;
    }
    const QString socket = SocketPath();
    qputenv("CUPS_SERVER", socket.toLocal8Bit());
    cupsSetServer(socket.toLocal8Bit().constData());

    // Ready once it answers a request.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (!cupsd_.Running()) {
            cupsd_.Read();
            error_ = QStringLiteral("cupsd exited: ") + QString::fromLocal8Bit(cupsd_.TakeOutput());
            return false;
        }
        if (QFileInfo::exists(socket)) {
            http_t *http = httpConnect2(socket.toLocal8Bit().constData(), 0, nullptr, AF_UNSPEC,
                                        HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr);
            if (http) {
                httpClose(http);
                return true;
            }
        }
        QThread::msleep(20);
    }
    error_ = QStringLiteral("cupsd did not answer");
    return false;
}

bool CupsServer::AddRawQueue(const QString &name, quint16 port, QString *error)
{
    ChildProcess lpadmin;
    const bool ok
        = lpadmin.Start(QStringLiteral("lpadmin"),
                        { QStringLiteral("-h"), SocketPath(), QStringLiteral("-p"), name,
                          QStringLiteral("-E"), QStringLiteral("-v"),
                          QStringLiteral("socket://127.0.0.1:%1/?contimeout=2").arg(port) },
                        true)
        && lpadmin.WaitForExit(15000) && lpadmin.ExitCode() == 0;
    if (!ok && error)
        *error = lpadmin.Error() + QString::fromLocal8Bit(lpadmin.TakeOutput());
    return ok;
}

bool CupsServer::RemoveQueue(const QString &name)
{
    ChildProcess lpadmin;
    return lpadmin.Start(QStringLiteral("lpadmin"),
                         { QStringLiteral("-h"), SocketPath(), QStringLiteral("-x"), name }, true)
        && lpadmin.WaitForExit(15000) && lpadmin.ExitCode() == 0;
}
