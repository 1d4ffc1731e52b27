// SPDX-License-Identifier: MIT
#include <QColor>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// brimsel-ctl's bash completion, run in bash as bash-completion would run it.
class TestCompletion : public QObject
{
    Q_OBJECT

private slots:
    void completes_data();
    void completes();
    void offersEachOptionOnce();
    void offersEveryColourNameBrimselCtlTakes();
    void readsOptionsFromTheProgramsHelp();

private:
    // What the completion offers for a command line whose last word is being
    // typed; words[0] is the program.
    static QStringList complete(const QStringList &words);
};

QStringList TestCompletion::complete(const QStringList &words)
{
    QProcess bash;
    bash.start(QStringLiteral("bash"),
               QStringList{QStringLiteral("-c"),
                           QStringLiteral("source \"$0\"; COMP_WORDS=(\"$@\"); "
                                          "COMP_CWORD=$(($# - 1)); _brimsel_ctl; "
                                          "printf '%s\\n' \"${COMPREPLY[@]}\""),
                           QStringLiteral(BRIMSEL_COMPLETION)} +
                   words);
    if (!bash.waitForFinished() || bash.exitCode() != 0)
        return {QStringLiteral("bash failed")};
    QStringList offered = QString::fromUtf8(bash.readAllStandardOutput()).split('\n');
    offered.removeAll(QString());
    return offered;
}

void TestCompletion::completes_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("offered");
    const QString ctl = QStringLiteral(BRIMSEL_CTL);
    QTest::newRow("option") << QStringList{ctl, "--de"} << QStringList{"--device"};
    QTest::newRow("accessories") << QStringList{ctl, "--color", "red", "--device", ""}
                                 << QStringList{"handbrake", "sq", "h"};
    QTest::newRow("after a comma")
        << QStringList{ctl, "-c", "red", "-d", "sq,h"} << QStringList{"sq,handbrake", "sq,h"};
    QTest::newRow("--color=") << QStringList{ctl, "--color", "=", "DarkV"}
                              << QStringList{"darkviolet"};
    QTest::newRow("--colour") << QStringList{ctl, "--colour", "darkv"} << QStringList{"darkviolet"};
    // Names are in any case; after a comma only those not given yet.
    QTest::newRow("upper case") << QStringList{ctl, "-d", "H"} << QStringList{"handbrake", "h"};
    QTest::newRow("not given yet")
        << QStringList{ctl, "-d", "SQ,h,"} << QStringList{"SQ,h,handbrake"};
    QTest::newRow("all given") << QStringList{ctl, "-d", "sq,h,handbrake,"} << QStringList{};
    QTest::newRow("no --help to read")
        << QStringList{"/nonexistent/brimsel-ctl", "--s"} << QStringList{"--stream"};
}

void TestCompletion::completes()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    QCOMPARE(complete(words), offered);
}

// The help also has lines that start with an option, outside its Options list.
void TestCompletion::offersEachOptionOnce()
{
    QStringList offered = complete({QStringLiteral(BRIMSEL_CTL), ""});
    QVERIFY(offered.contains("--stream"));
    QCOMPARE(offered.removeDuplicates(), 0);
}

void TestCompletion::offersEveryColourNameBrimselCtlTakes()
{
    QStringList names = QColor::colorNames();
    names.removeOne(QStringLiteral("transparent"));
    QCOMPARE(complete({QStringLiteral(BRIMSEL_CTL), "--color", ""}), names);
}

// Options added to brimsel-ctl later complete as soon as its help lists them.
void TestCompletion::readsOptionsFromTheProgramsHelp()
{
    QTemporaryDir dir;
    QFile program(dir.filePath(QStringLiteral("brimsel-ctl")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write(
        "#!/bin/sh\nprintf 'Options:\\n  -s, --stream   Read colours.\\n  --later  x\\n'\n");
    program.close();
    program.setPermissions(program.permissions() | QFile::ExeOwner);
    QCOMPARE(complete({program.fileName(), "--"}), QStringList({"--stream", "--later"}));
}

QTEST_GUILESS_MAIN(TestCompletion)
#include "test_completion.moc"
