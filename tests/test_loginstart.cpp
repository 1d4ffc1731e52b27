// SPDX-License-Identifier: MIT
#include <QTemporaryDir>
#include <QtTest>

#include "loginstart.h"

class TestLoginStart : public QObject
{
    Q_OBJECT
private slots:
    void writesAndRemovesTheEntry();
};

// The autostart entry under $XDG_CONFIG_HOME, its Exec quoted as the
// desktop entry format says, and gone when switched off.
void TestLoginStart::writesAndRemovesTheEntry()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString path = config.filePath("autostart/brimsel-lights.desktop");
    QCOMPARE(LoginStart::entryPath(), path);
    QVERIFY(!LoginStart::isOn());
    QString why;
    const struct
    {
        const char *program, *exec;
    } cases[] = {
        {"/usr/bin/brimsel-lights", "Exec=/usr/bin/brimsel-lights\n"},
        {"/opt/my tools/100%/brimsel-lights", "Exec=\"/opt/my tools/100%%/brimsel-lights\"\n"},
        {"/home/a$b/\"x\"/lights", "Exec=\"/home/a\\\\$b/\\\\\"x\\\\\"/lights\"\n"}};
    for (const auto &c : cases) {
        QVERIFY2(LoginStart::set(true, c.program, &why), qPrintable(why));
        QVERIFY(LoginStart::isOn());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.startsWith("[Desktop Entry]\n") && text.contains(c.exec), text.constData());
    }
    QVERIFY(LoginStart::set(false, QString(), &why));
    QVERIFY(!LoginStart::isOn() && !QFile::exists(path));
    QVERIFY(LoginStart::set(false, QString(), &why)); // off already: nothing to do
    // A folder where the entry would go cannot be made: said, not done.
    QFile::remove(config.filePath("autostart"));
    QDir(config.filePath("autostart")).removeRecursively();
    QFile blocker(config.filePath("autostart"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!LoginStart::set(true, "/usr/bin/brimsel-lights", &why));
    QVERIFY(!why.isEmpty());
}

QTEST_GUILESS_MAIN(TestLoginStart)
#include "test_loginstart.moc"
