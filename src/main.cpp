#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>
#include <QTranslator>

#include "app/app.h"
#include "app/clock.h"
#include "app/user_folder.h"
#include "ports/device_port.h"
#include "ports/port_factory.h"
#include "app/startup.h"
#include "ui/device_dialog.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/qt_screen.h"
#include "ui/response_window.h"
#include "ui/translations.h"

using namespace puolukka;

namespace {

constexpr const char* kHelp =
    "Usage: puolukka [--desktop]\n"
    "A tool for GSM SIM cards in a smart-card reader (serial, USB-serial, PC/SC or\n"
    "over the network): the phonebook, PIN and PUK, the card's files and a hex terminal.\n"
    "\n"
    "Started from a terminal, the program keeps its port settings (puolukka.ini) and\n"
    "its device list (ports.ini) in the folder it is started from.\n"
    "\n"
    "  --desktop   keep them in $XDG_CONFIG_HOME/puolukka (~/.config/puolukka) instead,\n"
    "              made on the first start with a copy of the demo card on COM1;\n"
    "              the desktop entry starts the program this way\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The demo card's codes: PIN1 1234, PIN2 5678, PUK1 12345678, PUK2 87654321.\n"
    "See puolukka(1).\n";

bool hasArgument(int argc, char* argv[], const char* name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    // Answered before Qt starts, so they work without a display.
    if (hasArgument(argc, argv, "--help")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (hasArgument(argc, argv, "--version")) {
        std::printf("puolukka %s\n", PUOLUKKA_VERSION);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Puolukka"));
    QApplication::setApplicationVersion(QStringLiteral(PUOLUKKA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("fi.puolukka.Puolukka"));
    QTranslator qtFinnish;
    installQtFinnish(qtFinnish);

    // The settings file and ports.ini are looked for where the program was
    // started; from the desktop entry, in the user's own folder.
    const bool desktop = hasArgument(argc, argv, "--desktop");
    std::string userFolderProblem;
    std::string startDirectory = QDir::currentPath().toStdString();
    if (desktop) {
        startDirectory = userFolderPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
        if (!prepareUserFolder(startDirectory, nullptr, &userFolderProblem) && userFolderProblem.empty())
            userFolderProblem = startDirectory;
    }

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
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("fi.puolukka.Puolukka"),
                                                 QIcon(QStringLiteral(":/icons/puolukka.svg"))));

    DispatchContext context(app);
    context.mainWindow = &form1;
    context.deviceOf = [&port](int n) { return deviceCaption(port, n); };
    context.chooseDevices = [&port, startDirectory](QWidget* parent) {
        return chooseDevices(port, startDirectory, parent);
    };
    context.endProgram = [] { QCoreApplication::exit(0); };

    form1.setElementHandler([&context](const QString& element) {
        dispatchElement(context, element.toStdString());
    });
    form1.setKeyHandler([&context](int keyAscii) { return dispatchTermKey(context, keyAscii); });
    form1.setCloseHandler([&context] { return closeMainWindow(context); });
    gresponse.setOkHandler([&context] { dispatchElement(context, "GROK"); });

    Form_Load(app);
    if (!userFolderProblem.empty())
        showMessage(screen, "Asetuskansiota ei voitu valmistella: " + userFolderProblem, kAppTitle,
                    Icon::Exclamation);
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
