#include <set>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include "app/app.h"
#include "app/clock.h"
#include "scripted_port.h"
#include "ui/dispatch.h"
#include "ui/main_window.h"
#include "ui/qt_screen.h"
#include "ui/response_window.h"

namespace puolukka {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        screen.registerWindow(&form1);
        screen.registerWindow(&form2);
        screen.registerWindow(&gresponse);
    }

    std::string caption(const std::string& name) { return screen.text(name); }

    MainWindow form1;
    ProgressWindow form2{&form1};
    ResponseWindow gresponse{&form1};
    QtScreen screen;
};

struct NamedCaption {
    const char* name;
    const char* caption;
};

// Every named control of the three windows with the caption it is created with.
const NamedCaption kCaptions[] = {
    {"Form1", "Puolukka"}, {"Form2", "Luetaan muistia"}, {"Gresponse", "Response"},
    {"RespMFDF", "Response on MF/DF"}, {"SubDF", "Sub DF"}, {"SubEF", "Sub EF"}, {"NKeys", "# KEY's"},
    {"PIN1Stat", "PIN 1"}, {"PIN2Stat", "PIN 2"}, {"PUK1Stat", "PUK1"}, {"PUK2Stat", "PUK2"},
    {"CLKStop", "CLKS"}, {"PinInit", "Defined"}, {"PIN1Value6", "Pin Number"},
    {"SubDFNum", ""}, {"SubEFNum", ""}, {"Keys", ""}, {"PIN1Status", ""}, {"PIN2Status", ""},
    {"PUK1Status", ""}, {"PUK2Status", ""}, {"PIN1Left", ""}, {"PIN2Left", ""}, {"PUK1Left", ""},
    {"PUK2Left", ""}, {"CLKStatus", ""}, {"PIN1Valid", ""}, {"PIN2Valid", ""},
    {"AccessCond", "Access on EF"}, {"AC61", "Read/Seek"}, {"AC62", "Update"}, {"AC63", "Increase"},
    {"AC64", "Rehabilitate"}, {"AC65", "Invalidate"}, {"ACS61", ""}, {"ACS62", ""}, {"ACS63", ""},
    {"ACS64", ""}, {"ACS65", ""}, {"Pin1State", "PIN1 State"}, {"PIN1Active", "N/A"},
    {"CurrentDir", "Current Directory"}, {"Label3", ""}, {"RinProc1", "P.B. Rec.#"}, {"RinProc2", "0"},
    {"HsgCtrl1", " Controls "}, {"Label5", "Reset Pol."}, {"Command1", "ATR on CTS"},
    {"Command2", "ATR on DTR"}, {"TermCLS", "CLS Term"}, {"PinCHV1", "  PIN1   #"}, {"EFDF", "SELECT File"},
    {"Rbinary", "READ Bin"}, {"RRecord", "READ Rec"}, {"GetResp3", "GET Resp."}, {"PinCHV2", " PIN2   #"},
    {"PUK1", "PUK1 #"}, {"PUK2", "PUK 2 #"}, {"OLOG3", "Open Log"}, {"ComSet3", "&ComPort"},
    {"CLOG3", "Close LOG"}, {"CI1_39", ""}, {"CI1_40", ""}, {"SimConv1", ""}, {"ParStat2", ""},
    {"Label1", ""}, {"WritePB", "Tallenna Sim"}, {"PhnBook", "Lue Sim"}, {"PBEdit", "Muokkaa luetteloa"},
    {"SavePB", "Tallenna luettelo"}, {"LoadPB", "Avaa luettelo"}, {"Lopeta", "&Lopeta"},
    {"Term", ""},
    {"MFile", "&Tiedosto"}, {"MSettings", "A&setukset"}, {"MProp", "&Settings"}, {"ohje", "&Ohje"},
    // Gresponse: the value labels start empty, the captions sit beside them.
    {"GRL1", ""}, {"GRL2", ""}, {"GRRec", ""}, {"GRL3", ""}, {"GRL4", ""}, {"GRL5", ""}, {"GRL6", ""},
    {"GRL7", ""}, {"GRL8", ""}, {"GRL9", ""}, {"GRL10", ""}, {"GRL11", ""}, {"GRL81", ""},
    {"GRL12", ""}, {"GRL13", ""}, {"GROK", "OK"}, {"GRHead", " ACCESS CONDITIONS"},
};

TEST_F(MainWindowTest, EveryNamedControlExistsWithItsCaption)
{
    for (const auto& [name, expected] : kCaptions) {
        SCOPED_TRACE(name);
        QObject* object = form1.objectName() == QLatin1String(name) ? &form1
                        : form2.objectName() == QLatin1String(name) ? static_cast<QObject*>(&form2)
                        : gresponse.objectName() == QLatin1String(name)
                            ? static_cast<QObject*>(&gresponse)
                            : form1.findChild<QObject*>(QString::fromLatin1(name));
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(caption(name), expected);
    }
}

TEST_F(MainWindowTest, ResponseRowsPairCaptionsWithValueLabels)
{
    const NamedCaption rows[] = {
        {"GRL1", " First two bytes (RFU)"}, {"GRL2", " File Size"}, {"GRL3", " Filed ID"},
        {"GRL4", " File Type"}, {"GRL5", " INCREASE allowed on cyclic EF"}, {"GRL6", "READ / SEEK"},
        {"GRL7", "UPDATE"}, {"GRL8", "INCREASE"}, {"GRL9", "REHABILITATE"}, {"GRL10", "INVALIDATE"},
        {"GRL11", " File STATUS"}, {"GRL81", " Length of Following Datas"}, {"GRL12", " Structure of EF"},
        {"GRL13", " Length of a Record"},
    };
    for (const auto& [value, rowCaption] : rows) {
        SCOPED_TRACE(value);
        auto* label = gresponse.findChild<QLabel*>(QString::fromLatin1(value) + QStringLiteral("Caption"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text().trimmed(), QString::fromLatin1(rowCaption).trimmed());
        // Row captions keep their leading blank.
        if (rowCaption[0] == ' ') {
            EXPECT_TRUE(label->text().startsWith(QLatin1String(rowCaption)));
        }
    }
}

TEST_F(MainWindowTest, TabsAndToolbarPositions)
{
    ASSERT_EQ(form1.tabs()->count(), 3);
    EXPECT_EQ(form1.tabs()->tabText(0), "Main");
    EXPECT_EQ(form1.tabs()->tabText(1), "Card Information");
    EXPECT_EQ(form1.tabs()->tabText(2), "RFU");
    EXPECT_EQ(form1.tabs()->objectName(), "SSTab1");

    auto* toolbar = form1.findChild<QToolBar*>("Toolbar1");
    ASSERT_NE(toolbar, nullptr);
    const QList<QAction*> actions = toolbar->actions();
    ASSERT_EQ(actions.size(), MainWindow::kToolbarPositions);
    const std::set<int> separators{3, 6, 8, 10};
    for (int position = 1; position <= MainWindow::kToolbarPositions; ++position) {
        SCOPED_TRACE(position);
        QAction* action = actions.at(position - 1);
        EXPECT_EQ(action->objectName(), MainWindow::toolbarElement(position));
        EXPECT_EQ(action->isSeparator(), separators.count(position) == 1);
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->icon().isNull());
        }
    }
}

TEST_F(MainWindowTest, MenuBarOrderAndSwitchedOffPortTools)
{
    QStringList entries;
    for (QAction* action : form1.menuBar()->actions())
        entries << action->text();
    EXPECT_EQ(entries, (QStringList{"&Tiedosto", "A&setukset", "&Settings", "&Ohje"}));

    auto* file = form1.findChild<QMenu*>("MFile");
    ASSERT_NE(file, nullptr);
    QStringList items;
    for (QAction* action : file->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(items, (QStringList{"&Avaa luettelo", "T&allenna luettelo", "-", "Lu&e luettelo SIM:ltä",
                                  "&Kirjoita luettelo SIM:lle", "-", "M&uokkaa luetteloa", "-", "&Lopetus"}));

    auto* port = form1.findChild<QMenu*>("MProp");
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->menuAction()->isEnabled());
    for (QAction* action : port->actions()) {
        if (action->isSeparator())
            continue;
        SCOPED_TRACE(action->objectName().toStdString());
        EXPECT_EQ(action->isEnabled(), action->objectName() == "MHDSR");
    }
    auto* dtr = form1.findChild<QAction*>("MDTREnable");
    ASSERT_NE(dtr, nullptr);
    EXPECT_TRUE(dtr->isCheckable());
    EXPECT_FALSE(dtr->isChecked());

    auto* help = form1.findChild<QMenu*>("ohje");
    ASSERT_NE(help, nullptr);
    ASSERT_EQ(help->actions().size(), 2);
    EXPECT_EQ(help->actions().at(0)->text(), "Kortinlukijan valmistusohjeet");
    EXPECT_EQ(help->actions().at(1)->text(), "Tietoja Puolukkasta");
}

TEST_F(MainWindowTest, HiddenControlsStayHiddenWhenTheWindowShows)
{
    form1.show();
    for (const char* name : {"SimConv1", "ParStat2", "Label1", "WritePB", "PhnBook", "PBEdit", "SavePB",
                             "LoadPB", "Lopeta"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(form1.findChild<QWidget*>(name)->isVisible());
        EXPECT_FALSE(screen.visible(name));
    }
    EXPECT_TRUE(form1.findChild<QWidget*>("Command1")->isVisible());
    EXPECT_TRUE(screen.visible("Term"));
    EXPECT_FALSE(screen.visible("Form2"));
    EXPECT_FALSE(screen.visible("Gresponse"));
}

TEST_F(MainWindowTest, ActivationShowsTheMainTab)
{
    form1.show();
    form1.tabs()->setCurrentIndex(1);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&form1, &activate);
    EXPECT_EQ(form1.tabs()->currentIndex(), 0);
}

TEST_F(MainWindowTest, ClicksReportTheirElementNames)
{
    std::vector<QString> clicked;
    form1.setElementHandler([&](const QString& element) { clicked.push_back(element); });
    form1.findChild<QAction*>(MainWindow::toolbarElement(4))->trigger();
    form1.findChild<QAction*>("kirjoitaluettelo")->trigger();
    form1.findChild<QAction*>("MSettings")->trigger();
    form1.findChild<QPushButton*>("Command2")->click();
    form1.findChild<QPushButton*>("Lopeta")->click();
    gresponse.setOkHandler([&] { clicked.push_back("GROK"); });
    gresponse.findChild<QPushButton*>("GROK")->click();
    EXPECT_EQ(clicked, (std::vector<QString>{"Toolbar1_4", "kirjoitaluettelo", "MSettings", "Command2",
                                             "Lopeta", "GROK"}));
}

TEST_F(MainWindowTest, CloseHandlerCanKeepTheWindowOpen)
{
    form1.show();
    bool keep = true;
    int asked = 0;
    form1.setCloseHandler([&] { ++asked; return keep; });
    EXPECT_FALSE(form1.close());
    EXPECT_TRUE(form1.isVisible());
    keep = false;
    EXPECT_TRUE(form1.close());
    EXPECT_EQ(asked, 2);
}

// --- Terminal keys -------------------------------------------------------

void typeKey(QWidget* widget, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

TEST_F(MainWindowTest, TermKeysGoThroughTheKeyHandler)
{
    std::vector<int> seen;
    int answer = 0;
    form1.setKeyHandler([&](int key) { seen.push_back(key); return answer; });
    TermEdit* term = form1.term();

    typeKey(term, Qt::Key_A, "A");
    typeKey(term, Qt::Key_Return, "\r");
    typeKey(term, Qt::Key_Backspace, "\b");
    EXPECT_EQ(seen, (std::vector<int>{'A', 13, 8}));
    EXPECT_EQ(term->toPlainText(), "");  // all swallowed

    form1.setKeyHandler([&](int key) { seen.push_back(key); return key; });
    typeKey(term, Qt::Key_5, "5");
    typeKey(term, Qt::Key_Return, "\r");
    EXPECT_EQ(term->toPlainText(), "5\n");

    // Keys that type nothing never reach the handler.
    seen.clear();
    typeKey(term, Qt::Key_Left, QString());
    EXPECT_TRUE(seen.empty());

    // A pane switched off for input takes no keys at all.
    screen.setEnabled("Term", false);
    EXPECT_FALSE(screen.enabled("Term"));
    typeKey(term, Qt::Key_7, "7");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(term->toPlainText(), "5\n");
}

// --- QtScreen ------------------------------------------------------------

TEST_F(MainWindowTest, TermTextSeesCrLfAndBytePositions)
{
    screen.setTermText("A0A4\r\n9F 16\r\n");
    EXPECT_EQ(form1.term()->toPlainText(), "A0A4\n9F 16\n");
    EXPECT_EQ(screen.termText(), "A0A4\r\n9F 16\r\n");

    screen.setTermCaret(int(screen.termText().size()));
    screen.termInsert("6F3A ");
    screen.termInsert("\r\n");
    EXPECT_EQ(screen.termText(), "A0A4\r\n9F 16\r\n6F3A \r\n");

    // Insert in the middle: the caret moves past the text.
    screen.setTermCaret(2);
    screen.termInsert("xy");
    screen.termInsert("z");
    EXPECT_EQ(screen.termText(), "A0xyzA4\r\n9F 16\r\n6F3A \r\n");

    // Positions after a line end count both CR and LF.
    screen.setTermCaret(9);  // just after the first CR LF
    screen.termInsert("|");
    EXPECT_EQ(screen.termText(), "A0xyzA4\r\n|9F 16\r\n6F3A \r\n");

    // Positions count bytes of the UTF-8 text.
    screen.setTermText("ä1");
    screen.setTermCaret(2);
    screen.termInsert("-");
    EXPECT_EQ(screen.termText(), "ä-1");

    // A text cut inside a CR LF leaves no empty line behind.
    screen.setTermText("\nAB");
    EXPECT_EQ(screen.termText(), "AB");

    screen.setText("Term", "");
    EXPECT_EQ(screen.termText(), "");
}

TEST_F(MainWindowTest, NamedControlRoundTrips)
{
    screen.setText("Label3", " DF-7F10-TELECOM");
    EXPECT_EQ(screen.text("Label3"), " DF-7F10-TELECOM");
    screen.setText("AccessCond", "Access to ADN");
    EXPECT_EQ(form1.findChild<QGroupBox*>("AccessCond")->title(), "Access to ADN");
    screen.setText("PIN1Valid", "INVALID");
    EXPECT_EQ(screen.text("PIN1Valid"), "INVALID");
    screen.setText("GRL2", " 10");
    EXPECT_EQ(gresponse.findChild<QLabel*>("GRL2")->text(), " 10");
    screen.setText("Form2", "Kirjoitetaan muistia");
    EXPECT_EQ(form2.windowTitle(), "Kirjoitetaan muistia");
    screen.setText("Form1", "Terminal MSComm - a.log");
    EXPECT_EQ(form1.windowTitle(), "Terminal MSComm - a.log");
    // Labels never read markup.
    screen.setText("ACS61", "<b>x</b>");
    EXPECT_EQ(form1.findChild<QLabel*>("ACS61")->textFormat(), Qt::PlainText);

    screen.setEnabled("GetResp3", false);
    EXPECT_FALSE(screen.enabled("GetResp3"));
    screen.setEnabled("GetResp3", true);
    EXPECT_TRUE(screen.enabled("GetResp3"));
    screen.setEnabled("MHDSR", false);
    EXPECT_FALSE(screen.enabled("MHDSR"));

    screen.setMaxLength("RinProc2", 3);
    EXPECT_EQ(form1.findChild<QLineEdit*>("RinProc2")->maxLength(), 3);

    screen.setVisible("Form2", true);
    EXPECT_TRUE(form2.isVisible());
    screen.setRange("ProgressBar1", 0, 5);
    screen.setValue("ProgressBar1", 3);
    EXPECT_EQ(screen.value("ProgressBar1"), 3);
    screen.setValue("ProgressBar1", 9);  // past the maximum: full, not ignored
    EXPECT_EQ(screen.value("ProgressBar1"), 5);
    screen.setVisible("Form2", false);
    EXPECT_FALSE(screen.visible("Form2"));

    screen.setVisible("Gresponse", true);
    EXPECT_TRUE(screen.visible("Gresponse"));
    screen.setVisible("Gresponse", false);
    EXPECT_FALSE(gresponse.isVisible());
}

TEST_F(MainWindowTest, UnknownControlsAreHarmless)
{
    screen.setText("NoSuchControl", "x");
    EXPECT_EQ(screen.text("NoSuchControl"), "");
    screen.setEnabled("NoSuchControl", false);
    EXPECT_FALSE(screen.enabled("NoSuchControl"));
    screen.setVisible("NoSuchControl", true);
    screen.setValue("NoSuchControl", 1);
    EXPECT_EQ(screen.value("NoSuchControl"), 0);
    screen.setFocus("");
}

TEST(QtScreenFilter, WindowsFilterBecomesQtFilter)
{
    EXPECT_EQ(QtScreen::qtFilter("LOG Files(*.LOG)|*.log|All Files (*.*)|*.*"),
              "LOG Files(*.LOG) (*.log);;All Files (*.*) (*.*)");
    EXPECT_EQ(QtScreen::qtFilter("Luettelot|*.phb;*.txt"), "Luettelot (*.phb *.txt)");
    EXPECT_EQ(QtScreen::qtFilter(""), "");
}

// Finds the open modal dialog every 10 ms and hands it to act, once.
void whenModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

TEST_F(MainWindowTest, MessageBoxDefaultAndAnswer)
{
    QString defaultText;
    QString title;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return modal->close();
        title = box->windowTitle();
        if (box->defaultButton())
            defaultText = box->defaultButton()->text();
        box->button(QMessageBox::Cancel)->click();
        return true;
    });
    MessageBox box{"Replace existing file - a.log?", "Puolukka", Buttons::YesNoCancel, Icon::Question,
                   Answer::No};
    EXPECT_EQ(screen.messageBox(box), Answer::Cancel);
    EXPECT_EQ(title, "Puolukka");
    EXPECT_EQ(defaultText.remove('&'), "No");
}

TEST_F(MainWindowTest, InputBoxCancelGivesEmptyText)
{
    whenModal([](QWidget* modal) {
        if (auto* dialog = qobject_cast<QInputDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    EXPECT_EQ(screen.inputBox("Please enter InputLen:", "InputLen", " 0"), "");

    whenModal([](QWidget* modal) {
        if (auto* dialog = qobject_cast<QInputDialog*>(modal)) {
            dialog->setTextValue("12");
            dialog->accept();
        } else {
            modal->close();
        }
    });
    EXPECT_EQ(screen.inputBox("Please enter InputLen:", "InputLen", " 0"), "12");
}

// --- Dispatch ------------------------------------------------------------

struct Expected {
    const char* element;
    const char* operation;
};

// Which operation each toolbar position, menu item and button starts.
const Expected kDispatch[] = {
    {"Toolbar1_1", "avaa"}, {"Toolbar1_2", "SavePB_Click"}, {"Toolbar1_3", ""},
    {"Toolbar1_4", "PhnBook_Click"}, {"Toolbar1_5", "WritePB_Click"}, {"Toolbar1_6", ""},
    {"Toolbar1_7", "PBEdit_Click"}, {"Toolbar1_8", ""}, {"Toolbar1_9", "MSettings_Click"},
    {"Toolbar1_10", ""}, {"Toolbar1_11", "quit"},
    {"availe", "avaa"}, {"tallenna", "SavePB_Click"}, {"barr1", ""}, {"lueluettelo", "PhnBook_Click"},
    {"kirjoitaluettelo", "WritePB_Click"}, {"barr3", ""}, {"muokkaaluettelo", "PBEdit_Click"}, {"bar2", ""},
    {"MFileExit", "MFileExit_Click"}, {"MSettings", "MSettings_Click"},
    {"MInputLen", "MInputLen_Click"}, {"MRThreshold", "MRThreshold_Click"},
    {"MSThreshold", "MSThreshold_Click"}, {"MParRep", "MParRep_Click"}, {"MDTREnable", "MDTREnable_Click"},
    {"Bar3", ""}, {"MHCD", "MHCD_Click"}, {"MHCTS", "MHCTS_Click"}, {"MHDSR", "MHDSR_Click"},
    {"valmistus", "valmistus_Click"}, {"tieto", "tieto_Click"},
    {"Command1", "Command1_Click"}, {"Command2", "Command2_Click"}, {"TermCLS", "TermCLS_Click"},
    {"PinCHV1", ""}, {"EFDF", "EFDF_Click"}, {"Rbinary", "Rbinary_Click"}, {"RRecord", "RRecord_Click"},
    {"GetResp3", "GetResp3_Click"}, {"PinCHV2", "PinCHV2_Click"}, {"PUK1", "PUK1_Click"},
    {"PUK2", "PUK2_Click"}, {"OLOG3", "OpenLogFile"}, {"ComSet3", "MSettings_Click"}, {"CLOG3", ""},
    {"WritePB", "WritePB_Click"}, {"PhnBook", "PhnBook_Click"}, {"PBEdit", "PBEdit_Click"},
    {"SavePB", "SavePB_Click"}, {"LoadPB", ""}, {"Lopeta", "quit"}, {"GROK", "GROK_Click"},
};

// The caption an element shows: a toolbar position's tip, a menu item's or button's text.
QString shownCaption(QObject* object)
{
    if (auto* action = qobject_cast<QAction*>(object)) {
        if (action->isSeparator())
            return QStringLiteral("-");
        return action->parent() && action->parent()->objectName() == QLatin1String("Toolbar1")
                   ? action->toolTip()
                   : action->text();
    }
    if (auto* button = qobject_cast<QPushButton*>(object))
        return button->text();
    return QStringLiteral("?");
}

TEST_F(MainWindowTest, DispatchTableMapsEveryElementToItsOperation)
{
    ASSERT_EQ(dispatchTable().size(), std::size(kDispatch));
    for (const auto& [element, operation] : kDispatch) {
        SCOPED_TRACE(element);
        const DispatchRow* row = findDispatchRow(element);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->operation, operation);
        EXPECT_EQ(row->run == nullptr, *operation == '\0');
        // The element exists in its window and shows the table's caption.
        QObject* object = element == std::string("GROK")
                              ? gresponse.findChild<QObject*>(element)
                              : form1.findChild<QObject*>(QString::fromLatin1(element));
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(shownCaption(object), QString::fromUtf8(row->caption));
    }
}

TEST_F(MainWindowTest, EveryClickableElementHasARow)
{
    QStringList missing;
    for (QAction* action : form1.findChildren<QAction*>()) {
        if (action->objectName().isEmpty() || action->menu() || action->objectName() == "MPropEntry")
            continue;
        if (!findDispatchRow(action->objectName().toStdString()))
            missing << action->objectName();
    }
    for (QPushButton* button : form1.findChildren<QPushButton*>())
        if (!findDispatchRow(button->objectName().toStdString()))
            missing << button->objectName();
    EXPECT_TRUE(missing.isEmpty()) << missing.join(' ').toStdString();
}

class DispatchTest : public MainWindowTest {
protected:
    DispatchTest() { context.mainWindow = &form1; }

    VirtualClock clock;
    test::ScriptedPort port{clock};
    App app{screen, clock, port};
    DispatchContext context{app};
};

TEST_F(DispatchTest, SeparatorsAndButtonsWithoutOperationDoNothing)
{
    screen.setTermText("kept");
    for (const char* element : {"Toolbar1_3", "Toolbar1_6", "Toolbar1_8", "Toolbar1_10", "barr1", "Bar3",
                                "PinCHV1", "CLOG3", "LoadPB", "NoSuchElement"}) {
        SCOPED_TRACE(element);
        EXPECT_FALSE(dispatchElement(context, element));
    }
    EXPECT_EQ(screen.termText(), "kept");
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(DispatchTest, AnOperationRunsOnceAndNotWhileAnotherRuns)
{
    screen.setTermText("old");
    context.busy = true;
    EXPECT_FALSE(dispatchElement(context, "TermCLS"));
    EXPECT_EQ(screen.termText(), "old");
    context.busy = false;
    EXPECT_TRUE(dispatchElement(context, "TermCLS"));
    EXPECT_EQ(screen.termText(), "");
    EXPECT_FALSE(context.busy);
}

TEST_F(DispatchTest, QuitClosesThePortAndEndsWithoutWaiting)
{
    port.setPortOpen(true);
    int ended = 0;
    context.endProgram = [&] { ++ended; };
    EXPECT_TRUE(dispatchElement(context, "Toolbar1_11"));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(context.ending);
    // Once ending, nothing else starts and closing the window asks nothing more.
    EXPECT_FALSE(dispatchElement(context, "TermCLS"));
    EXPECT_FALSE(closeMainWindow(context));
    EXPECT_EQ(ended, 1);
}

TEST_F(DispatchTest, ClosingWhileAnOperationRunsKeepsTheWindow)
{
    int ended = 0;
    context.endProgram = [&] { ++ended; };
    context.busy = true;
    EXPECT_TRUE(closeMainWindow(context));
    context.busy = false;
    EXPECT_FALSE(closeMainWindow(context));  // nothing waits to be sent
    EXPECT_EQ(ended, 1);
}

TEST_F(DispatchTest, PollingIsNotReentered)
{
    port.setPortOpen(true);
    port.events.push_back(comm_event::Cts);
    context.polling = true;
    pollTick(context);
    EXPECT_EQ(port.events.size(), 1u);  // the running handler is not entered again
    context.polling = false;
    context.busy = true;
    pollTick(context);
    EXPECT_EQ(port.events.size(), 1u);
    context.busy = false;
    pollTick(context);
    EXPECT_TRUE(port.events.empty());
    EXPECT_FALSE(context.polling);
}

TEST_F(DispatchTest, FormLoadClearsCardReady)
{
    app.card.CardReady = 1;
    Form_Load(app);
    EXPECT_EQ(app.card.CardReady, 0);
}

}  // namespace
}  // namespace puolukka
