// kelvara: the lecture client. The launch URL arrives as the first argument (the desktop's scheme
// handler passes it so); a second start hands it to the running client.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/KVRAppDelegate.h"
#include "app/KVRGlobalData.h"
#include "app/ui/KVRSingleInstance.h"
#include "conference/KVRMainView.h"
#include "control/KVRMainServer.h"
#include "conference/ui/KVRMainWindow.h"
#include "platform/qt/KVRQtAlerts.h"
#include "platform/qt/KVRQtRunLoop.h"
#include "audio/KVRSoundCardDevice.h"
#include "video/KVRCameraDevice.h"
#include "video/KVRCameraInterface.h"
#include "platform/qt/KVRQtCameraBackend.h"
#include "platform/pulse/KVRPulseAudioBackend.h"

namespace {
volatile std::sig_atomic_t leaveRequested = 0;
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvara"));
    QApplication::setQuitOnLastWindowClosed(true);  // closing the main window ends the program

    QString url;
    bool newInstance = false;
    for (int i = 1; i < argc; ++i) {
        QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--new-instance")) {
            newInstance = true;
        } else if (url.isEmpty()) {
            url = arg;
        }
    }

    KVRSingleInstance instance(KVRSingleInstance::defaultName());
    if (!newInstance) {
        if (!url.isEmpty() && instance.forwardToRunning(url)) {
            std::fprintf(stderr, "kelvara: handed the launch request to the running client\n");
            return 0;
        }
        if (url.isEmpty() && instance.forwardToRunning(QString(), 300)) {
            std::fprintf(stderr, "kelvara: already running\n");
            return 0;
        }
    }

    auto* global = KVRGlobalData::sharedGlobalData();
    auto runLoop = std::make_shared<KVRQtRunLoop>();
    global->setRunLoop(runLoop);
    global->setAlerts(std::make_shared<KVRQtAlerts>());
    // The camera and the sound devices exist before the device check; the room's local tile starts the
    // camera. Without a camera or a sound server their lists stay empty.
    auto cameraBackend = std::make_shared<KVRQtCameraBackend>();
    auto camera = std::make_shared<KVRCameraDevice>(cameraBackend->devices());
    global->setCameraDevice(camera);
    global->setCameraInterface(std::make_shared<KVRCameraInterface>(cameraBackend, camera));
    global->setSoundCardDevice(std::make_shared<KVRSoundCardDevice>(KVRPulseAudioBackend::create()));

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/icon_256x256.png")));
    KVRAppDelegate delegate;
    delegate.initWork();
    if (!newInstance) instance.listen([&delegate](const QString& later) { delegate.handleGETUrlEvent(later.toStdString()); });

    KVRMainWindow window;
    auto mainView = std::make_shared<KVRMainView>(*runLoop);
    mainView->setDelegate(&window);
    window.setMainView(mainView.get());
    global->setMainView(mainView);
    window.show();
    mainView->viewDidLoad();

    // SIGTERM and SIGINT (a session ending, a script stopping the demo) leave the room in order.
    std::signal(SIGTERM, [](int) { leaveRequested = 1; });
    std::signal(SIGINT, [](int) { leaveRequested = 1; });
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, [&] {
        if (!leaveRequested) return;
        leaveRequested = 0;
        if (mainView->state() == KVRMainView::State::InRoom)
            mainView->leaveWithoutQuestion();
        else if (mainView->state() != KVRMainView::State::Closing)
            QApplication::exit(1);
    });
    signalWatch.start(200);

    if (!url.isEmpty()) delegate.handleGETUrlEvent(url.toStdString());
    int code = app.exec();
    window.setMainView(nullptr);
    mainView->setDelegate(nullptr);
    // The transports stop before the registry's objects go, so no late callback finds them half gone.
    if (auto server = global->mainServer()) server->disconnectFromServer();
    global->releaseAll();
    return code;
}
