#include "cli/interruption.h"

#include "link/transfer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <csignal>

namespace {

std::atomic<bool> interrupted { false };
struct sigaction previousInt;
struct sigaction previousTerm;

void OnSignal(int)
{
    interrupted.store(true);
    // A second signal is not caught: it ends the program as usual.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

} // namespace

Interruption::Interruption()
{
    interrupted.store(false);
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

Interruption::~Interruption()
{
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
}

const std::atomic<bool> *Interruption::Flag() const
{
    return &interrupted;
}

bool Interruption::Happened() const
{
    return interrupted.load();
}

void Interruption::Note(const CliJobResult &result, const QString &uri, qint64 totalBytes)
{
    unfinished_.push_back({ result.index, uri, result.started, result.bytesSent, totalBytes });
}

QString Interruption::Text() const
{
    std::vector<Unfinished> list = unfinished_;
    std::sort(list.begin(), list.end(),
              [](const Unfinished &a, const Unfinished &b) { return a.index < b.index; });
    QString text = QStringLiteral("interrupted: %1 %2 not finished%3\n")
                       .arg(list.size())
                       .arg(list.size() == 1 ? QStringLiteral("target") : QStringLiteral("targets"))
                       .arg(list.empty() ? QString() : QStringLiteral(":"));
    for (const Unfinished &u : list) {
        if (!u.started)
            text += QStringLiteral("  %1: not started\n").arg(u.uri);
        else
            text += QStringLiteral("  %1: %2 sent; a partial command may be waiting in this "
                                   "printer\n")
                        .arg(u.uri, BytesReached(u.doneBytes, u.totalBytes));
    }
    return text;
}

QByteArray Interruption::Json() const
{
    std::vector<Unfinished> list = unfinished_;
    std::sort(list.begin(), list.end(),
              [](const Unfinished &a, const Unfinished &b) { return a.index < b.index; });
    QJsonArray targets;
    for (const Unfinished &u : list)
        targets.append(QJsonObject { { QStringLiteral("target"), u.uri },
                                     { QStringLiteral("started"), u.started },
                                     { QStringLiteral("bytes"), u.doneBytes },
                                     { QStringLiteral("of"), u.totalBytes } });
    const QJsonObject o { { QStringLiteral("interrupted"),
                            QJsonObject { { QStringLiteral("unfinished"), targets } } } };
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}
