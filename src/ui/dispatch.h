#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <QPointer>
#include <QWidget>

#include "ui/about_box.h"
#include "ui/config_screen.h"
#include "ui/entry_dialog.h"
#include "ui/phone_edit.h"
#include "ui/reader_guide.h"

namespace puolukka {

struct App;

// What the main window's clicks need besides App: the windows they open and
// keep, and how the program ends.
struct DispatchContext {
    explicit DispatchContext(App& app) : app(app) {}
    DispatchContext(const DispatchContext&) = delete;
    DispatchContext& operator=(const DispatchContext&) = delete;

    App& app;
    QPointer<QWidget> mainWindow;       // Form1, owner of the windows below
    QPointer<PhoneEdit> phoneEdit;      // the phonebook list window while it exists
    QPointer<ConfigScrn> configScrn;    // the port settings dialog while it exists
    QPointer<Form3> readerGuide;
    QPointer<FrmAbout> aboutBox;
    std::function<std::string(int)> deviceOf;  // the device port n stands for
    std::function<bool(QWidget*)> chooseDevices;  // the device dialog; true when the ports changed
    std::function<void()> endProgram;          // ends the event loop

    bool busy = false;     // an operation started from the window is running
    bool polling = false;  // the port's events are being handled
    bool closing = false;  // the window's shutdown is waiting for output to drain
    bool ending = false;   // the program is on its way out
};

using Operation = void (*)(DispatchContext&);

// One toolbar position, menu item or button of the main window (and the OK
// button of Gresponse): its element name (objectName), its caption (for the
// toolbar the tip text; "-" for separators) and the operation it starts.
// Separators and buttons without a click operation have no operation.
struct DispatchRow {
    const char* element;
    const char* caption;
    const char* operation;  // empty: the click does nothing
    Operation run;          // nullptr exactly when operation is empty
};

std::span<const DispatchRow> dispatchTable();
const DispatchRow* findDispatchRow(std::string_view element);

// Runs the operation of a clicked element. An element with no operation, an
// unknown one, or a click that arrives while another operation or the port's
// event handling is running does nothing. Returns whether an operation ran.
bool dispatchElement(DispatchContext& context, std::string_view element);

// A key typed into the terminal pane (Term_KeyPress); returns the key the pane
// still acts on. Keys typed while an operation runs are swallowed.
int dispatchTermKey(DispatchContext& context, int keyAscii);

// The port's polling tick: hands the port's events to the line-event handler,
// unless an operation or an earlier tick is still running (a message box
// shown by the handler runs the event loop, and with it this timer).
void pollTick(DispatchContext& context);

// Closing the main window: the port's orderly shutdown (Form_Unload), then the
// end of the program. Returns true when the window is to stay open.
bool closeMainWindow(DispatchContext& context);

// Form_Load of the main window.
void Form_Load(App& app);

}  // namespace puolukka
