#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStringList>
#include <functional>
#include <unistd.h>

#include "app/ui/KVRSingleInstance.h"

namespace {

void spinUntil(const std::function<bool()>& done, int ms = 2000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(SingleInstance, SecondStartHandsItsUrlToTheRunningClient) {
    const QString name = QStringLiteral("kvr-test-%1-a").arg(::getpid());
    KVRSingleInstance running(name);
    QStringList received;
    ASSERT_TRUE(running.listen([&](const QString& url) { received << url; }));

    KVRSingleInstance second(name);
    ASSERT_TRUE(second.forwardToRunning(QStringLiteral("kelvara://x?UpdaterKey=&roomname=Second")));
    spinUntil([&] { return !received.isEmpty(); });
    EXPECT_EQ(received, QStringList{QStringLiteral("kelvara://x?UpdaterKey=&roomname=Second")});
}

TEST(SingleInstance, NothingRunningMeansTheStartCarriesOn) {
    KVRSingleInstance alone(QStringLiteral("kvr-test-%1-none").arg(::getpid()));
    EXPECT_FALSE(alone.forwardToRunning(QStringLiteral("kelvara://x?UpdaterKey="), 200));
}

TEST(SingleInstance, OversizedHandOverIsDroppedAndLaterOnesStillArrive) {
    const QString name = QStringLiteral("kvr-test-%1-b").arg(::getpid());
    KVRSingleInstance running(name);
    QStringList received;
    ASSERT_TRUE(running.listen([&](const QString& url) { received << url; }));

    QLocalSocket hostile;
    hostile.connectToServer(name);
    ASSERT_TRUE(hostile.waitForConnected(1000));
    hostile.write(QByteArray(200 * 1024, 'a'));  // no line end, far beyond any launch URL
    hostile.waitForBytesWritten(1000);
    spinUntil([&] { return hostile.state() != QLocalSocket::ConnectedState; });
    EXPECT_TRUE(received.isEmpty());

    KVRSingleInstance second(name);
    ASSERT_TRUE(second.forwardToRunning(QStringLiteral("kelvara://y?UpdaterKey=")));
    spinUntil([&] { return !received.isEmpty(); });
    EXPECT_EQ(received, QStringList{QStringLiteral("kelvara://y?UpdaterKey=")});
}

}  // namespace
