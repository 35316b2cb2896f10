// The Ansible collection under real ansible-core: its documentation blocks
// parse, a missing program is named, and a playbook keeps three real
// virtual printers at a profile: changed only where settings drifted, no
// change the second time, nothing sent in check mode, each setting shown in
// diff mode, and the printers' identity and conditions as facts.
#include "support/childprocess.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/tempfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <iostream>

#include <gtest/gtest.h>

namespace {

// Ansible writes into HOME and its temp folders; every one of them is the
// test's own.
class AnsibleCollection : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("ansible-playbook")).isEmpty())
            GTEST_FAIL() << "ansible-playbook (Debian's ansible-core) is not installed";
        QDir(dir.path()).mkpath(QStringLiteral("collections/ansible_collections/tarvolin"));
        QDir(dir.path()).mkpath(QStringLiteral("home"));
        QDir(dir.path()).mkpath(QStringLiteral("tmp"));
        ASSERT_TRUE(QFile::link(
            QStringLiteral(TARVOLIN_SOURCE_DIR "/ansible"),
            dir.filePath(QStringLiteral("collections/ansible_collections/tarvolin/printers"))));
    }

    struct Outcome
    {
        int exitCode = -1;
        QByteArray out;
        QJsonObject json; // ansible-doc -j
        // One-line results: host -> each task's state and result, in order.
        QHash<QString, QList<QPair<QString, QJsonObject>>> results;
    };

    Outcome Ansible(const QString &program, const QStringList &args,
                    const QString &callback = QStringLiteral("oneline"))
    {
        const QString tmp = dir.filePath(QStringLiteral("tmp"));
        const QStringList env = {
            QStringLiteral("HOME=") + dir.filePath(QStringLiteral("home")),
            // Ansible refuses to run in a locale whose encoding is not UTF-8.
            QStringLiteral("LC_ALL=C.UTF-8"),
            QStringLiteral("ANSIBLE_LOCAL_TEMP=") + tmp,
            QStringLiteral("ANSIBLE_REMOTE_TEMP=") + tmp,
            QStringLiteral("ANSIBLE_COLLECTIONS_PATH=")
                + dir.filePath(QStringLiteral("collections")),
            QStringLiteral("ANSIBLE_STDOUT_CALLBACK=") + callback,
            QStringLiteral("ANSIBLE_NOCOLOR=1"),
            QStringLiteral("ANSIBLE_RETRY_FILES_ENABLED=0"),
            QStringLiteral("ANSIBLE_HOST_KEY_CHECKING=0"),
            QStringLiteral("ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3"),
        };
        ChildProcess p;
        Outcome o;
        if (!p.Start(QStringLiteral("env"), env + QStringList { program } + args)) {
            ADD_FAILURE() << p.Error().toStdString();
            return o;
        }
        if (!p.WaitForExit(240000)) {
            p.Stop(SIGKILL, 5000);
            ADD_FAILURE() << program.toStdString() << " did not finish";
        }
        o.exitCode = p.ExitCode();
        o.out = p.TakeOutput();
        if (program == QLatin1String("ansible-doc") && args.contains(QStringLiteral("-j"))) {
            o.json = QJsonDocument::fromJson(o.out).object();
            if (o.json.isEmpty())
                ADD_FAILURE() << "not JSON:\n" << o.out.toStdString() << p.Errors().toStdString();
        }
        // "p1 | CHANGED => {...}", one line per host and task.
        static const QRegularExpression line(
            QStringLiteral("^(\\S+) \\| ([A-Z]+)!?(?: \\| rc=-?[0-9]+)? => (\\{.*\\})$"),
            QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(QString::fromUtf8(o.out)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            o.results[m.captured(1)] << qMakePair(
                m.captured(2), QJsonDocument::fromJson(m.captured(3).toUtf8()).object());
        }
        if (o.exitCode != 0 && program != QLatin1String("ansible-doc"))
            std::cerr << o.out.toStdString() << p.Errors().toStdString();
        return o;
    }

    QString Playbook(const QString &name, const QByteArray &tasks)
    {
        return WriteTempFile(dir, name,
                             "- hosts: printers\n"
                             "  gather_facts: false\n"
                             "  tasks:\n"
                                 + tasks);
    }

    QTemporaryDir dir;
};

TEST_F(AnsibleCollection, ModulesAreDocumentedAsAnsibleReadsThem)
{
    const Outcome doc
        = Ansible(QStringLiteral("ansible-doc"),
                  { QStringLiteral("-j"), QStringLiteral("tarvolin.printers.printer_settings"),
                    QStringLiteral("tarvolin.printers.printer_facts") });
    ASSERT_EQ(doc.exitCode, 0) << doc.out.toStdString();
    const QJsonObject settings
        = doc.json.value("tarvolin.printers.printer_settings")["doc"].toObject();
    const QJsonObject options = settings.value("options").toObject();
    for (const char *name : { "target", "profile", "settings", "cli", "timeout" })
        EXPECT_TRUE(options.contains(QLatin1String(name))) << name;
    EXPECT_TRUE(options.value("target")["required"].toBool());
    EXPECT_EQ(settings.value("attributes")["check_mode"]["support"].toString(), "full");
    EXPECT_EQ(settings.value("attributes")["diff_mode"]["support"].toString(), "full");
    EXPECT_FALSE(
        doc.json.value("tarvolin.printers.printer_settings")["examples"].toString().isEmpty());
    EXPECT_TRUE(doc.json.value("tarvolin.printers.printer_facts")["return"].toObject().contains(
        "ansible_facts"));
    // The page a user reads checks the descriptions' YAML, which -j does not.
    for (const char *module : { "printer_settings", "printer_facts" }) {
        SCOPED_TRACE(module);
        const Outcome page = Ansible(QStringLiteral("ansible-doc"),
                                     { QStringLiteral("tarvolin.printers.") + module });
        EXPECT_EQ(page.exitCode, 0) << page.out.toStdString();
        EXPECT_TRUE(page.out.contains("OPTIONS")) << page.out.toStdString();
        EXPECT_TRUE(page.out.simplified().contains("as a name looked up on the PATH or as a path"))
            << page.out.toStdString();
    }
}

TEST_F(AnsibleCollection, SanityChecksThatRunOfflinePassAndTheLicenceIsTheProjects)
{
    // ansible-test wants the collection itself under ansible_collections/,
    // not a link to it.
    const QString copy
        = dir.filePath(QStringLiteral("tested/ansible_collections/tarvolin/printers"));
    const QDir source(QStringLiteral(TARVOLIN_SOURCE_DIR "/ansible"));
    QStringList files;
    for (QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = source.relativeFilePath(it.next());
        if (path.contains(QLatin1String("__pycache__")))
            continue;
        files << path;
        QDir(copy).mkpath(QFileInfo(path).path());
        ASSERT_TRUE(QFile::copy(source.filePath(path), copy + QLatin1Char('/') + path));
    }
    EXPECT_TRUE(files.contains(QStringLiteral("LICENSE")));
    QFile licence(source.filePath(QStringLiteral("LICENSE")));
    ASSERT_TRUE(licence.open(QIODevice::ReadOnly));
    EXPECT_TRUE(licence.readAll().startsWith("MIT License\n"));
    QFile galaxy(source.filePath(QStringLiteral("galaxy.yml")));
    ASSERT_TRUE(galaxy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(galaxy.readAll().contains("license:\n  - MIT\n"));

    // The checks that need packages from the network (pylint, yamllint,
    // validate-modules and the like, each in a virtual environment of its
    // own) are left out; ansible-doc is run above.
    const QStringList needNetwork { "ansible-doc",      "import",           "pep8",    "pylint",
                                    "runtime-metadata", "validate-modules", "yamllint" };
    QString skips;
    for (const QString &test : needNetwork)
        skips += QStringLiteral(" --skip-test ") + test;
    ChildProcess p;
    ASSERT_TRUE(p.Start(
        QStringLiteral("sh"),
        { QStringLiteral("-c"),
          QStringLiteral("cd '%1' && HOME='%2' LC_ALL=C.UTF-8 exec ansible-test sanity --local "
                         "--color no --python \"$(python3 -c 'import sys; "
                         "print(\"%d.%d\" % sys.version_info[:2])')\"%3")
              .arg(copy, dir.filePath(QStringLiteral("home")), skips) },
        true))
        << p.Error().toStdString();
    ASSERT_TRUE(p.WaitForExit(240000));
    const QByteArray out = p.TakeOutput();
    EXPECT_EQ(p.ExitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("Running sanity test \"compile\"")) << out.toStdString();
    EXPECT_TRUE(out.contains("Running sanity test \"metaclass-boilerplate\""));
}

TEST_F(AnsibleCollection, AMissingProgramOrBadArgumentsAreNamed)
{
    const QString inventory = WriteTempFile(
        dir, "hosts.ini",
        "[printers]\np1 target=tcp://127.0.0.1:9\n[printers:vars]\nansible_connection=local\n");
    const QString profile = WriteTempFile(dir, "p.ini", "density = 15\n");
    const QString playbook = Playbook("missing.yml",
                                      "    - tarvolin.printers.printer_settings:\n"
                                      "        target: \"{{ target }}\"\n"
                                      "        profile: "
                                          + profile.toUtf8()
                                          + "\n"
                                            "        cli: "
                                          + dir.filePath("nowhere/tarvolin-cli").toUtf8()
                                          + "\n"
                                            "      ignore_errors: true\n"
                                            "    - tarvolin.printers.printer_settings:\n"
                                            "        target: \"{{ target }}\"\n"
                                            "        profile: "
                                          + profile.toUtf8()
                                          + "\n"
                                            "        settings: {density: 15}\n"
                                            "      ignore_errors: true\n"
                                            // Every bad setting at once, by its task option.
                                            "    - tarvolin.printers.printer_settings:\n"
                                            "        target: \"{{ target }}\"\n"
                                            "        settings: {density: 99, speed: fast, "
                                            "width: 76}\n"
                                            "        cli: " TARVOLIN_CLI_PROGRAM "\n"
                                            "      ignore_errors: true\n"
                                            "    - tarvolin.printers.printer_settings:\n"
                                            "        target: \"{{ target }}\"\n"
                                            "        settings: {density: \"15\\r\", top: 1}\n"
                                            "        cli: " TARVOLIN_CLI_PROGRAM "\n"
                                            "      ignore_errors: true\n");
    const Outcome run = Ansible(QStringLiteral("ansible-playbook"), { "-i", inventory, playbook });
    ASSERT_EQ(run.results.value("p1").size(), 4) << run.out.toStdString();
    const QJsonObject missing = run.results.value("p1")[0].second;
    EXPECT_EQ(run.results.value("p1")[0].first, "FAILED");
    EXPECT_EQ(missing.value("msg").toString(),
              dir.filePath("nowhere/tarvolin-cli")
                  + " is not installed or not on the PATH: install Tarvolin on the host that runs "
                    "this task, or give its path as cli");
    const QJsonObject both = run.results.value("p1")[1].second;
    EXPECT_EQ(run.results.value("p1")[1].first, "FAILED");
    EXPECT_EQ(both.value("msg").toString(), "parameters are mutually exclusive: profile|settings");
    EXPECT_EQ(run.results.value("p1")[2].first, "FAILED");
    EXPECT_EQ(run.results.value("p1")[2].second.value("msg").toString(),
              "tcp://127.0.0.1:9: settings.density: '99' is not one of 0 to 30 (or empty); "
              "settings.speed: 'fast' is not one of 2, 3, 4, 5 (or empty)");
    EXPECT_EQ(run.results.value("p1")[3].first, "FAILED");
    EXPECT_EQ(run.results.value("p1")[3].second.value("msg").toString(),
              "tcp://127.0.0.1:9: settings.density: a control character in '15\\r'");
}

// An apply that fails after the store command went out may have changed
// the printer: the task fails and says changed, as the program's report does.
TEST_F(AnsibleCollection, AFailureAfterTheSettingsWentOutIsReportedChanged)
{
    const QString cli = WriteTempFile(
        dir, "dropping-cli",
        "#!/bin/sh\n"
        "echo '{\"target\":\"tcp://127.0.0.1:9\",\"result\":\"failed\",\"bytes\":41,"
        "\"changed\":true,\"error\":\"the connection dropped; the settings were sent and "
        "may be stored\"}'\n"
        "exit 1\n");
    ASSERT_TRUE(QFile::setPermissions(cli, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString inventory = WriteTempFile(
        dir, "hosts.ini",
        "[printers]\np1 target=tcp://127.0.0.1:9\n[printers:vars]\nansible_connection=local\n");
    const QString playbook = Playbook("dropped.yml",
                                      "    - tarvolin.printers.printer_settings:\n"
                                      "        target: \"{{ target }}\"\n"
                                      "        settings: {density: 15}\n"
                                      "        cli: "
                                          + cli.toUtf8()
                                          + "\n"
                                            "      ignore_errors: true\n");
    const Outcome run = Ansible(QStringLiteral("ansible-playbook"), { "-i", inventory, playbook });
    ASSERT_EQ(run.results.value("p1").size(), 1) << run.out.toStdString();
    EXPECT_EQ(run.results.value("p1")[0].first, "FAILED");
    const QJsonObject result = run.results.value("p1")[0].second;
    EXPECT_TRUE(result.value("changed").toBool()) << run.out.toStdString();
    EXPECT_TRUE(result.value("msg").toString().contains("may be stored"));
}

} // namespace

namespace {

TEST_F(AnsibleCollection, PlaybookKeepsThreePrintersAtTheProfile)
{
    // p3 starts without paper: a condition the facts must show.
    std::vector<std::unique_ptr<PrinterProcess>> printers;
    for (const QStringList &extra :
         { QStringList {}, QStringList {},
           QStringList { QStringLiteral("--status"), QStringLiteral("paper-out") } }) {
        printers.push_back(std::make_unique<PrinterProcess>(
            QStringList { QStringLiteral("--tcp"), QStringLiteral("0") } + extra));
        ASSERT_TRUE(printers.back()->IsRunning()) << printers.back()->Error().toStdString();
    }
    auto uri = [&](int i) {
        return QStringLiteral("tcp://127.0.0.1:%1").arg(printers[i]->TcpPort());
    };
    const QString profile
        = WriteTempFile(dir, "hall.ini", "density = 15\nspeed = 3\nwidth = 76\nheight = 200\n");
    // Every printer at the profile, then p1 and p2 drift by another route.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(RunCliProgram({ "--to", uri(i), "store-settings", profile }).exitCode, 0);
    ASSERT_EQ(RunCliProgram({ "--to", uri(0), "text", "~SD22\n^XA^JUS^XZ" }).exitCode, 0);
    ASSERT_EQ(RunCliProgram({ "--to", uri(1), "text", "^XA^PR5,^LL1400^XZ\n^XA^JUS^XZ" }).exitCode,
              0);
    std::vector<qsizetype> logged;
    for (auto &p : printers)
        logged.push_back(p->Lines().size());

    const QString inventory
        = WriteTempFile(dir, "hosts.ini",
                        QStringLiteral("[printers]\np1 target=%1\np2 target=%2\np3 target=%3\n"
                                       "[printers:vars]\nansible_connection=local\n")
                            .arg(uri(0), uri(1), uri(2))
                            .toUtf8());
    const QString settings = Playbook("settings.yml",
                                      "    - tarvolin.printers.printer_settings:\n"
                                      "        target: \"{{ target }}\"\n"
                                      "        profile: "
                                          + profile.toUtf8()
                                          + "\n"
                                            "        cli: " TARVOLIN_CLI_PROGRAM "\n");
    auto states = [](const Outcome &o) {
        QStringList s;
        for (const char *host : { "p1", "p2", "p3" })
            s << o.results.value(QLatin1String(host)).value(0).first;
        return s;
    };

    // Check mode: the drift is reported and nothing but the read is sent.
    const Outcome check = Ansible("ansible-playbook", { "--check", "-i", inventory, settings });
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(states(check), QStringList({ "CHANGED", "CHANGED", "SUCCESS" }));
    EXPECT_EQ(QJsonDocument(check.results.value("p2").value(0).second.value("drift").toObject())
                  .toJson(QJsonDocument::Compact),
              R"({"height":{"printer":1400,"profile":1600},"speed":{"printer":5,"profile":3}})");
    // Each printer was asked for its configuration, and that was all.
    for (size_t i = 0; i < printers.size(); ++i) {
        const QStringList lines = printers[i]->Lines().mid(logged[i]);
        EXPECT_EQ(lines, QStringList({ "format (9 bytes)", "^HH: configuration answered" }))
            << lines.join('\n').toStdString();
    }

    // Diff mode shows the settings, as the printer has them and as they will be.
    const Outcome shown
        = Ansible("ansible-playbook", { "--check", "--diff", "-i", inventory, settings },
                  QStringLiteral("default"));
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_TRUE(shown.out.contains("-density: 22\n+density: 15\n")) << shown.out.toStdString();
    EXPECT_TRUE(shown.out.contains("-height: 1400\n-speed: 5\n+height: 1600\n+speed: 3\n"))
        << shown.out.toStdString();

    // The real run changes the drifted two; the next changes nothing.
    const Outcome first = Ansible("ansible-playbook", { "-i", inventory, settings });
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(states(first), QStringList({ "CHANGED", "CHANGED", "SUCCESS" }));
    EXPECT_TRUE(first.results.value("p1").value(0).second.value("verified").toBool());
    const Outcome second = Ansible("ansible-playbook", { "-i", inventory, settings });
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(states(second), QStringList({ "SUCCESS", "SUCCESS", "SUCCESS" }));

    // Facts: identity and conditions.
    const QString facts = Playbook("facts.yml",
                                   "    - tarvolin.printers.printer_facts:\n"
                                   "        target: \"{{ target }}\"\n"
                                   "        cli: " TARVOLIN_CLI_PROGRAM "\n");
    const Outcome read = Ansible("ansible-playbook", { "-i", inventory, facts });
    EXPECT_EQ(read.exitCode, 0);
    const QJsonObject p1 = read.results.value("p1")
                               .value(0)
                               .second.value("ansible_facts")["tarvolin_printer"]
                               .toObject();
    const QJsonObject p3 = read.results.value("p3")
                               .value(0)
                               .second.value("ansible_facts")["tarvolin_printer"]
                               .toObject();
    EXPECT_EQ(p1.value("target").toString(), uri(0));
    EXPECT_FALSE(p1.value("info")["model"].toString().isEmpty())
        << p1.value("info").toObject().keys().join(',').toStdString();
    EXPECT_EQ(p1.value("info")["dotsPerMm"].toInt(), 8);
    EXPECT_EQ(p1.value("conditions").toArray(), QJsonArray());
    EXPECT_EQ(p3.value("conditions").toArray(), QJsonArray({ "paper_out" }));
    EXPECT_EQ(p3.value("host_status")["paper_out"].toBool(), true);
    // Typed: numbers as numbers.
    EXPECT_TRUE(p1.value("settings")["density"].isDouble());
    EXPECT_EQ(p1.value("settings")["density"].toInt(), 15);
    EXPECT_EQ(p1.value("settings")["media-type"].toString(), "Thermal Direct");
    EXPECT_TRUE(p1.value("host_status")["labels_remaining"].isDouble());
    // The configuration by name, as documented; modes are no conditions.
    ASSERT_TRUE(p1.value("config").isObject()) << QJsonDocument(p1).toJson().toStdString();
    EXPECT_TRUE(p1.value("config")["DARKNESS"].isString())
        << QJsonDocument(p1.value("config").toObject()).toJson().toStdString();
    // The media type and the print mode, sorted.
    EXPECT_EQ(p1.value("modes").toArray(), QJsonArray({ "direct_thermal", "tear_off" }));
    EXPECT_EQ(p1.value("warnings").toArray(), QJsonArray());
}

} // namespace
