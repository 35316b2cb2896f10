#include "app/virtualprinterwindow.h"

#include "app/interfaceselecttab.h"
#include "preview/ui/labelview.h"
#include "printer/printerconditions.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The raw printing port ETHERNET sends to.
constexpr quint16 NetworkPort = 9100;
constexpr int StopWaitMs = 3000;
constexpr int LogLines = 2000;

} // namespace

VirtualPrinterWindow::VirtualPrinterWindow(InterfaceSelectTab *interfaces, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , interfaces_(interfaces)
    , program_(DefaultProgram())
    , stateDir_(DefaultStateDir())
    , openFolder_([](const QUrl &folder) { QDesktopServices::openUrl(folder); })
{
    setObjectName(QStringLiteral("VirtualPrinterWindow"));
    setWindowTitle(QStringLiteral("Virtual Printer"));

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setWordWrap(true);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    UseComButton = new QPushButton(QStringLiteral("Use as COM"), this);
    UseComButton->setObjectName(QStringLiteral("UseComButton"));
    UseEthernetButton = new QPushButton(QStringLiteral("Use as ETHERNET"), this);
    UseEthernetButton->setObjectName(QStringLiteral("UseEthernetButton"));
    StartStopButton = new QPushButton(this);
    StartStopButton->setObjectName(QStringLiteral("StartStopButton"));
    LabelCaption = new QLabel(QStringLiteral("No label printed yet."), this);
    LabelCaption->setObjectName(QStringLiteral("LabelCaption"));
    LabelsFolderLabel = new QLabel(this);
    LabelsFolderLabel->setObjectName(QStringLiteral("LabelsFolderLabel"));
    LabelsFolderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    OpenFolderButton = new QPushButton(QStringLiteral("Open Folder"), this);
    OpenFolderButton->setObjectName(QStringLiteral("OpenFolderButton"));
    OpenFolderButton->setToolTip(QStringLiteral("Show the label pictures in the file manager"));
    LastLabel = new LabelView(this);
    LastLabel->setObjectName(QStringLiteral("LastLabel"));
    LastLabel->setMinimumHeight(260);
    LogView = new QPlainTextEdit(this);
    LogView->setObjectName(QStringLiteral("LogView"));
    LogView->setReadOnly(true);
    LogView->setMaximumBlockCount(LogLines);
    LogView->setLineWrapMode(QPlainTextEdit::NoWrap);
    LogView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *conditions = new QGroupBox(QStringLiteral("Conditions"), this);
    conditions->setObjectName(QStringLiteral("ConditionsGroup"));
    auto *grid = new QGridLayout(conditions);
    int column = 0;
    for (const QString &name : status::ConditionNames()) {
        // The printer says itself when it prints.
        if (name == QLatin1String("printing"))
            continue;
        QString caption = name;
        caption.replace(QLatin1Char('-'), QLatin1Char(' '));
        caption[0] = caption[0].toUpper();
        caption.replace(QLatin1String(" ram"), QLatin1String(" RAM"));
        auto *box = new QCheckBox(caption, conditions);
        box->setObjectName(QStringLiteral("Condition_")
                           + QString(name).replace(QLatin1Char('-'), QLatin1Char('_')));
        box->setEnabled(false);
        grid->addWidget(box, column / 4, column % 4);
        ++column;
        ConditionSwitches[name] = box;
        connect(box, &QCheckBox::clicked, this, [this, name](bool on) {
            if (IsRunning())
                process_.write(QStringLiteral("status %1%2\n")
                                   .arg(on ? QLatin1Char('+') : QLatin1Char('-'))
                                   .arg(name)
                                   .toUtf8());
        });
    }

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(UseComButton);
    buttons->addWidget(UseEthernetButton);
    buttons->addStretch();
    buttons->addWidget(StartStopButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(StatusLabel);
    layout->addLayout(buttons);
    layout->addWidget(conditions);
    layout->addWidget(LabelCaption);
    auto *folder = new QHBoxLayout;
    folder->addWidget(LabelsFolderLabel, 1);
    folder->addWidget(OpenFolderButton);
    layout->addLayout(folder);
    layout->addWidget(LastLabel, 3);
    layout->addWidget(LogView, 2);
    resize(580, 720);

    connect(UseComButton, &QPushButton::clicked, this,
            [this] { interfaces_->SelectCom(ptyPath_); });
    connect(UseEthernetButton, &QPushButton::clicked, this,
            [this] { interfaces_->SelectEthernet(QStringLiteral("127.0.0.1")); });
    connect(StartStopButton, &QPushButton::clicked, this, [this] {
        if (IsRunning())
            Stop();
        else
            Start(true);
    });
    connect(OpenFolderButton, &QPushButton::clicked, this, [this] {
        QDir().mkpath(labelsDir_);
        if (openFolder_)
            openFolder_(QUrl::fromLocalFile(labelsDir_));
    });
    SetLabelsDir(DefaultLabelsDir());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    connect(&process_, &QProcess::readyReadStandardOutput, this, &VirtualPrinterWindow::ReadOutput);
    connect(&process_, &QProcess::finished, this, &VirtualPrinterWindow::OnFinished);
    ShowState();
}

VirtualPrinterWindow::~VirtualPrinterWindow()
{
    process_.disconnect(this);
    Stop();
}

QString VirtualPrinterWindow::DefaultProgram()
{
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("tarvolin-printer"));
}

QString VirtualPrinterWindow::DefaultStateDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("virtual-printer"));
}

QString VirtualPrinterWindow::DefaultLabelsDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("virtual-printer-labels"));
}

void VirtualPrinterWindow::SetLabelsDir(const QString &path)
{
    labelsDir_ = path;
    LabelsFolderLabel->setText(
        QStringLiteral("Label pictures: %1").arg(QDir::toNativeSeparators(path)));
}

void VirtualPrinterWindow::StartAndShow()
{
    show();
    raise();
    activateWindow();
    if (!IsRunning())
        Start(true);
}

void VirtualPrinterWindow::Start(bool withTcp)
{
    if (!QFileInfo(program_).isExecutable()) {
        problem_ = QStringLiteral("The virtual printer (%1) is not there.").arg(program_);
        ShowState();
        return;
    }
    // Kept after the program ends; the printer numbers on after what is there.
    QStringList arguments { QStringLiteral("--pty"), QStringLiteral("--out"), labelsDir_ };
    if (!stateDir_.isEmpty())
        arguments << QStringLiteral("--state") << stateDir_;
    if (withTcp)
        arguments << QStringLiteral("--tcp") << QString::number(NetworkPort);
    withTcp_ = withTcp;
    ready_ = false;
    ptyPath_.clear();
    tcpPort_ = 0;
    partial_.clear();
    if (withTcp)
        problem_.clear();
    LogView->appendPlainText(QStringLiteral("$ %1 %2").arg(QFileInfo(program_).fileName(),
                                                           arguments.join(QLatin1Char(' '))));
    process_.start(program_, arguments);
    ShowState();
}

void VirtualPrinterWindow::Stop()
{
    if (!IsRunning())
        return;
    stopping_ = true;
    // SIGTERM: the printer ends cleanly.
    process_.terminate();
    if (!process_.waitForFinished(StopWaitMs)) {
        process_.kill();
        process_.waitForFinished(StopWaitMs);
    }
    stopping_ = false;
}

void VirtualPrinterWindow::ReadOutput()
{
    partial_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        OnLine(QString::fromLocal8Bit(partial_.left(end)));
        partial_.remove(0, end + 1);
    }
}

void VirtualPrinterWindow::OnLine(const QString &line)
{
    LogView->appendPlainText(line);
    static const QRegularExpression label(
        QStringLiteral("^label (\\d+): (\\d+)x(\\d+) dots -> (.+)$"));
    // The answer to a status control command, and the status the printer
    // shows at its start.
    static const QRegularExpression statusLine(
        QStringLiteral("^status(?: [0-9a-f]{2} \\(|: )([a-z, -]+)\\)?$"));
    if (line.startsWith(QLatin1String("pty: "))) {
        ptyPath_ = line.section(QLatin1Char(' '), 1, 1);
    } else if (line.startsWith(QLatin1String("tcp: "))) {
        tcpPort_ = quint16(line.section(QLatin1Char(':'), -1).toUInt());
    } else if (line.startsWith(QLatin1String("ready: "))) {
        ready_ = true;
        ShowState();
    } else if (const QRegularExpressionMatch m = statusLine.match(line); m.hasMatch()) {
        ShowConditions(m.captured(1));
    } else if (const QRegularExpressionMatch m = label.match(line); m.hasMatch()) {
        const QImage picture(m.captured(4));
        if (!picture.isNull()) {
            LastLabel->SetLabel(picture, picture.size(),
                                std::max(1, picture.dotsPerMeterX() / 1000), RulerUnit::Mm);
            LabelCaption->setText(QStringLiteral("Label %1: %2 x %3 dots")
                                      .arg(m.captured(1), m.captured(2), m.captured(3)));
        }
    }
}

void VirtualPrinterWindow::OnFinished(int exitCode, QProcess::ExitStatus status)
{
    ReadOutput();
    const bool wasReady = ready_;
    ready_ = false;
    if (!wasReady && withTcp_ && !stopping_ && status == QProcess::NormalExit && exitCode != 0) {
        // Most likely another program has the network port: serial only.
        problem_ = QStringLiteral("Port %1 is taken on this computer, so ETHERNET is not offered.")
                       .arg(NetworkPort);
        Start(false);
        return;
    }
    if (!stopping_)
        problem_ = status == QProcess::NormalExit && exitCode == 0
            ? QString()
            : QStringLiteral("The virtual printer ended unexpectedly; its log says why.");
    LogView->appendPlainText(QStringLiteral("(stopped)"));
    ShowState();
}

void VirtualPrinterWindow::ShowConditions(const QString &names)
{
    const QStringList set = names.split(QStringLiteral(", "), Qt::SkipEmptyParts);
    for (auto &[name, box] : ConditionSwitches)
        box->setChecked(set.contains(name));
}

void VirtualPrinterWindow::ShowState()
{
    const bool running = IsRunning() && ready_;
    QString text;
    if (running) {
        text = QStringLiteral("Running. COM: %1").arg(ptyPath_);
        if (tcpPort_ != 0)
            text += QStringLiteral("    ETHERNET: 127.0.0.1 (port %1)").arg(tcpPort_);
    } else if (IsRunning()) {
        text = QStringLiteral("Starting…");
    } else {
        text = QStringLiteral("Stopped.");
    }
    if (!problem_.isEmpty())
        text += QLatin1Char('\n') + problem_;
    StatusLabel->setText(text);
    UseComButton->setEnabled(running);
    for (auto &[name, box] : ConditionSwitches)
        box->setEnabled(running);
    UseEthernetButton->setEnabled(running && tcpPort_ == NetworkPort);
    StartStopButton->setText(IsRunning() ? QStringLiteral("Stop") : QStringLiteral("Start"));
}
