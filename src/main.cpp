#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include "app/app.h"
#include "app/clock.h"
#include "ports/device_port.h"
#include "ports/port_factory.h"
#include "app/startup.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/qt_screen.h"
#include "ui/response_window.h"

using namespace puolukka;

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Puolukka"));

    // The settings file and ports.ini are looked for where the program was started.
    const std::string startDirectory = QDir::currentPath().toStdString();

    RealClock clock;
    QtScreen screen;
    DevicePort port(makeBackendFactory(clock, startDirectory), startDirectory);
    App app(screen, clock, port);

    MainWindow form1;
    ProgressWindow form2(&form1);
    ResponseWindow gresponse(&form1);
    screen.registerWindow(&form1);
    screen.registerWindow(&form2);
    screen.registerWindow(&gresponse);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/sim_read.svg")));

    DispatchContext context(app);
    context.mainWindow = &form1;
    context.deviceOf = [&port](int n) { return port.device(n); };
    context.endProgram = [] { QCoreApplication::exit(0); };

    form1.setElementHandler([&context](const QString& element) {
        dispatchElement(context, element.toStdString());
    });
    form1.setKeyHandler([&context](int keyAscii) { return dispatchTermKey(context, keyAscii); });
    form1.setCloseHandler([&context] { return closeMainWindow(context); });
    gresponse.setOkHandler([&context] { dispatchElement(context, "GROK"); });

    Form_Load(app);
    startUp(app, startDirectory);
    form1.show();

    // The port's events arrive by polling every Interval ms.
    QTimer poll;
    poll.setInterval(std::max(1, port.interval()));
    QObject::connect(&poll, &QTimer::timeout, [&context, &poll, &port] {
        pollTick(context);
        poll.setInterval(std::max(1, port.interval()));
    });
    poll.start();

    const int result = QApplication::exec();
    poll.stop();
    if (port.portOpen())
        port.setPortOpen(false);
    return result;
}
