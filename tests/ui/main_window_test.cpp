#include "ui_fixture.h"

#include "card_fixture.h"
#include "filesystem/explorer.h"
#include "link/line_events.h"
#include "link/reset.h"

namespace puolukka {
namespace {

struct MainWindowTest : ::testing::Test {
    MainWindowTest() { std::ranges::for_each(windows, [&](QWidget* w) { screen.registerWindow(w); }); }
    MainWindow form1;
    ProgressWindow form2{&form1};
    ResponseWindow gresponse{&form1};
    QtScreen screen;
    QWidget* windows[3] = {&form1, &form2, &gresponse};
};

// Every named control the operations write to, with its caption, then those that start empty.
const std::pair<const char*, const char*> kCaptions[] = {
    {"Form1", "Puolukka"}, {"Form2", "Luetaan muistia"}, {"Gresponse", "Response"}, {"RespMFDF", "Response on MF/DF"},
    {"SubDF", "Sub DF"}, {"SubEF", "Sub EF"}, {"NKeys", "# KEY's"}, {"PIN1Stat", "PIN 1"}, {"PIN2Stat", "PIN 2"},
    {"PUK1Stat", "PUK1"}, {"PUK2Stat", "PUK2"}, {"CLKStop", "CLKS"}, {"PinInit", "Defined"},
    {"PIN1Value6", "Pin Number"}, {"AccessCond", "Access on EF"}, {"AC61", "Read/Seek"}, {"AC62", "Update"},
    {"AC63", "Increase"}, {"AC64", "Rehabilitate"}, {"AC65", "Invalidate"}, {"Pin1State", "PIN1 State"},
    {"PIN1Active", "N/A"}, {"CurrentDir", "Current Directory"}, {"RinProc1", "P.B. Rec.#"}, {"RinProc2", "0"},
    {"HsgCtrl1", " Controls "}, {"Label5", "Reset Pol."}, {"MFile", "&Tiedosto"}, {"MSettings", "A&setukset"},
    {"MProp", "&Settings"}, {"ohje", "&Ohje"}, {"GRHead", " ACCESS CONDITIONS"},
    {"GRL1Caption", " First two bytes (RFU)"}, {"GRL2Caption", " File Size"}, {"GRL3Caption", " Filed ID"},
    {"GRL4Caption", " File Type"}, {"GRL5Caption", " INCREASE allowed on cyclic EF"},
    {"GRL6Caption", "READ / SEEK"}, {"GRL7Caption", "UPDATE"}, {"GRL8Caption", "INCREASE"},
    {"GRL9Caption", "REHABILITATE"}, {"GRL10Caption", "INVALIDATE"}, {"GRL11Caption", " File STATUS"},
    {"GRL81Caption", " Length of Following Datas"}, {"GRL12Caption", " Structure of EF"},
    {"GRL13Caption", " Length of a Record"},
};
const char kEmptyControls[] =
    "SubDFNum SubEFNum Keys PIN1Status PIN2Status PUK1Status PUK2Status PIN1Left PIN2Left PUK1Left PUK2Left CLKStatus "
    "PIN1Valid PIN2Valid ACS61 ACS62 ACS63 ACS64 ACS65 Label3 CI1_39 CI1_40 SimConv1 ParStat2 Label1 Term SSTab1 GRL1 "
    "GRL2 GRRec GRL3 GRL4 GRL5 GRL6 GRL7 GRL8 GRL9 GRL10 GRL11 GRL81 GRL12 GRL13";

TEST_F(MainWindowTest, EveryNamedControlExistsWithItsCaption)
{
    std::vector<std::pair<std::string, std::string>> all(std::begin(kCaptions), std::end(kCaptions));
    for (const QString& name : QString(kEmptyControls).split(' '))
        all.emplace_back(name.toStdString(), "");
    for (const auto& [name, caption] : all) {
        ASSERT_TRUE(name == "Form1" || form1.findChild<QObject*>(QString::fromStdString(name))) << name;
        EXPECT_EQ(screen.text(name), caption) << name;
    }
}

TEST_F(MainWindowTest, ShownWindowHidesItsSpareControlsAndGreysThePortMenu)
{
    form1.show();
    for (const char* name : {"SimConv1", "ParStat2", "Label1", "WritePB", "PhnBook", "PBEdit", "SavePB", "LoadPB",
                             "Lopeta", "Form2", "Gresponse"}) {
        EXPECT_FALSE(screen.visible(name)) << name;
    }
    EXPECT_TRUE(screen.visible("Term") && screen.visible("Command1"));
    auto* port = form1.findChild<QMenu*>("MProp");
    EXPECT_FALSE(port->menuAction()->isEnabled());
    QStringList enabled;
    for (QAction* action : port->actions())
        enabled << (action->isEnabled() && !action->isSeparator() ? action->text() : QString());
    enabled.removeAll(QString());
    EXPECT_EQ(enabled, QStringList{"DSRHo&lding..."});

    form1.tabs()->setCurrentIndex(1);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&form1, &activate);
    EXPECT_EQ(form1.tabs()->tabText(form1.tabs()->currentIndex()), "Main");
}

// Each element's caption (a toolbar position's tip) and what clicking it does (see effectOf).
const char kRead[] = "input:PIN1 ATR A4 C0 20 A4x2 B0 A4x4 C0 B2x100 method 1";
const char kWrite[] = "input:PIN1 message:Ei luetteloa muistissaa! ATR A4 C0 20 method 1";
const char kOpen[] = "file:Avaa luettelo";
const char kSave[] = "message:Ei tallennettavaa luetteloa muistissa!";
const char kEdit[] = "message:Ei luetteloa muistissa. Avaa luettelo tai lue se SIM:ltä!";
const std::tuple<const char*, const char*, const char*> kDispatch[] = {
    {"Toolbar1_1", "Avaa luettelo", kOpen}, {"Toolbar1_2", "Tallenna luettelo", kSave}, {"Toolbar1_3", "-", ""},
    {"Toolbar1_4", "Lue luettelo SIM:ltä", kRead}, {"Toolbar1_5", "Tallenna luettelo SIM:lle", kWrite},
    {"Toolbar1_6", "-", ""}, {"Toolbar1_7", "Muokkaa luetteloa", kEdit}, {"Toolbar1_8", "-", ""},
    {"Toolbar1_9", "Asetukset", "window:ConfigScrn"}, {"Toolbar1_10", "-", ""}, {"Toolbar1_11", "Lopetus", "ended"},
    {"availe", "&Avaa luettelo", kOpen}, {"tallenna", "T&allenna luettelo", kSave},
    {"tuoyhteystiedot", "Tuo yhteystiedot...", "file:Tuo yhteystiedot"}, {"vieyhteystiedot", "Vie yhteystiedot...", kEdit},
    {"barr1", "-", ""},
    {"lueluettelo", "Lu&e luettelo SIM:ltä", kRead}, {"kirjoitaluettelo", "&Kirjoita luettelo SIM:lle", kWrite},
    {"barr3", "-", ""}, {"muokkaaluettelo", "M&uokkaa luetteloa", kEdit}, {"bar2", "-", ""},
    {"MFileExit", "&Lopetus", "ended"}, {"MSettings", "A&setukset", "window:ConfigScrn"},
    {"MInputLen", "&InputLen...", "input:InputLen"}, {"MRThreshold", "&RThreshold...", "input:RThreshold"},
    {"MSThreshold", "&SThreshold...", "input:SThreshold"}, {"MParRep", "P&arityReplace...", "input:ParityReplace"},
    {"MDTREnable", "&DTREnable", "DTR on"}, {"Bar3", "-", ""}, {"MHCD", "&CDHolding...", "message:CDHolding = True"},
    {"MHCTS", "CTSH&olding...", "message:CTSHolding = True"}, {"MHDSR", "DSRHo&lding...", "message:DSRHolding = True"},
    {"valmistus", "Kortinlukijan valmistusohjeet", "window:Form3"}, {"tieto", "Tietoja Puolukkasta", "window:frmAbout"},
    {"Command1", "ATR on CTS", "ATR A4 C0 method 1"}, {"Command2", "ATR on DTR", "ATR A4 C0 method 2"},
    {"TermCLS", "CLS Term", "pane cleared"}, {"PinCHV1", "  PIN1   #", ""},
    {"EFDF", "SELECT File", "input:SELECT EF or DF A4"}, {"Rbinary", "READ Bin", "A4 C0 B0"},
    {"RRecord", "READ Rec", "message:Annoit väärän PIN-koodin! A4 C0 B2"}, {"GetResp3", "GET Resp.", "C0"},
    {"PinCHV2", " PIN2   #", "input:Puolukka message:Annoit väärän PIN-koodin! 20 F2"},
    {"PUK1", "PUK1 #", "input:A02C000010 message:PUK1 MUST have 8 digits !"},
    {"PUK2", "PUK 2 #", "input:A02C000210 message:PUK2 MUST have 8 digits !"},
    {"OLOG3", "Open Log", "file:Open Communication LOG File"}, {"ComSet3", "&ComPort", "window:ConfigScrn"},
    {"CLOG3", "Close LOG", ""}, {"WritePB", "Tallenna Sim", kWrite}, {"PhnBook", "Lue Sim", kRead},
    {"PBEdit", "Muokkaa luetteloa", kEdit}, {"SavePB", "Tallenna luettelo", kSave}, {"LoadPB", "Avaa luettelo", ""},
    {"Lopeta", "&Lopeta", "ended"}, {"GROK", "OK", "Gresponse closed"},
};

// What a click did on the virtual card: boxes shown, commands (INS) and resets, windows opened, lines, the end.
std::string effectOf(test::CardFixture& f, DispatchContext& context, int ended)
{
    std::string effect;
    auto add = [&effect](const std::string& part) { effect += (effect.empty() ? "" : " ") + part; };
    for (const auto& box : f.screen.transcript)
        add(box.kind + ":" + (box.kind == "message" ? box.text : box.title));
    std::string last;  // a run of the same command is told once, with its count
    int run = 0;
    auto endRun = [&] {
        if (run > 0)
            add(last + (run > 1 ? "x" + std::to_string(run) : ""));
    };
    for (const sim::TraceEntry& e : f.port.trace()) {
        if (e.kind == sim::TraceEntry::Kind::Ignored)
            continue;
        const std::string what = e.kind == sim::TraceEntry::Kind::Atr ? "ATR" : sim::toHex(e.command.substr(1, 1));
        if (what != last)
            endRun(), last = what, run = 0;
        ++run;
    }
    endRun();
    if (f.app.card.ResetMethod != 0)
        add("method " + std::to_string(f.app.card.ResetMethod));
    if (f.port.dtrEnable())
        add("DTR on");
    for (const auto& [window, name] : {std::pair<QWidget*, const char*>{context.phoneEdit, "PhoneEdit"},
                                       {context.configScrn, "ConfigScrn"}, {context.readerGuide, "Form3"},
                                       {context.aboutBox, "frmAbout"}})
        if (window)
            add(std::string("window:") + name);
    if (f.screen.term.empty())
        add("pane cleared");
    if (!f.screen.visible("Gresponse"))
        add("Gresponse closed");
    if (ended)
        add("ended");
    return effect;
}

TEST_F(MainWindowTest, EveryElementShowsItsCaptionAndStartsItsOperation)
{
    ASSERT_EQ(dispatchTable().size(), std::size(kDispatch));
    for (const auto& [element, caption, expected] : kDispatch) {
        SCOPED_TRACE(element);
        const DispatchRow* row = findDispatchRow(element);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->run == nullptr, *expected == '\0');
        auto* button = form1.findChild<QPushButton*>(element);
        auto* action = form1.findChild<QAction*>(element);
        ASSERT_TRUE(button || action || std::string(element) == "GROK");
        const bool onToolbar = action && action->parent()->objectName() == "Toolbar1";
        if (button || action) {
            const QString shown = button                  ? button->text()
                                  : action->isSeparator() ? "-"
                                  : onToolbar             ? action->toolTip()
                                                          : action->text();
            EXPECT_EQ(shown, caption);
        }
        // On a reset card with EF ADN selected; any text asked for is "1234". A switched-off
        // menu item goes through the dispatch, as its click cannot reach it.
        test::CardFixture f;
        Command1_Click(f.app);
        f.screen.inputAnswers = {"adn"};
        EFDF_Click(f.app);
        f.port.clearTrace(), f.screen.clearTranscript();
        f.app.card.ResetMethod = 0;
        f.screen.inputAnswers = {"1234"};
        f.screen.setTermText("x");
        f.screen.setVisible("Gresponse", true);
        DispatchContext context{f.app};
        context.mainWindow = &form1;
        int ended = 0;
        context.endProgram = [&] { ++ended; };
        form1.setElementHandler([&](const QString& e) { dispatchElement(context, e.toStdString()); });
        gresponse.setOkHandler([&] { dispatchElement(context, "GROK"); });
        if (button)
            button->click();
        else if (action && (action->isEnabled() || action->isSeparator()))
            action->trigger();
        else if (std::string(element) == "GROK")
            gresponse.findChild<QPushButton*>("GROK")->click();
        else
            dispatchElement(context, element);
        EXPECT_EQ(effectOf(f, context, ended), expected);
        for (QWidget* window : {static_cast<QWidget*>(context.phoneEdit), static_cast<QWidget*>(context.configScrn),
                                static_cast<QWidget*>(context.readerGuide), static_cast<QWidget*>(context.aboutBox)})
            delete window;
    }
    for (QObject* object : form1.findChildren<QObject*>()) {  // every clickable element has a row
        auto* action = qobject_cast<QAction*>(object);
        if (qobject_cast<QPushButton*>(object) || (action && !action->menu() && !action->objectName().isEmpty() &&
                                                   action->objectName() != "MPropEntry")) {
            const std::string name = object->objectName().toStdString();
            EXPECT_NE(findDispatchRow(name), nullptr) << name;
        }
    }
}

TEST_F(MainWindowTest, OneOperationAtATimeAndNothingAfterQuit)
{
    VirtualClock clock;
    test::ScriptedPort port{clock};
    App app{screen, clock, port};
    DispatchContext context{app};
    context.mainWindow = &form1;
    int ended = 0;
    context.endProgram = [&] { ++ended; };
    screen.setTermText("old");
    EXPECT_FALSE(dispatchElement(context, "NoSuchElement"));
    context.busy = true;  // while an operation runs nothing else starts and closing keeps the window
    EXPECT_FALSE(dispatchElement(context, "TermCLS"));
    EXPECT_TRUE(closeMainWindow(context) && screen.termText() == "old");
    context.busy = false;
    EXPECT_TRUE(dispatchElement(context, "TermCLS") && screen.termText().empty());
    // A poll tick never re-enters the running handler.
    port.setPortOpen(true);
    port.events.push_back(comm_event::Cts);
    context.polling = true;
    pollTick(context);
    EXPECT_EQ(port.events.size(), 1u);
    context.polling = false;
    pollTick(context);
    EXPECT_TRUE(port.events.empty());
    // Quit closes the port and ends without waiting; then nothing starts and closing asks nothing more.
    EXPECT_TRUE(dispatchElement(context, "Toolbar1_11"));
    EXPECT_FALSE(port.portOpen() || dispatchElement(context, "TermCLS") || closeMainWindow(context));
    EXPECT_EQ(ended, 1);
}

TEST_F(MainWindowTest, QuitWithUnsavedChangesAsksFirstOnEveryPath)
{
    for (const char* element : {"Toolbar1_11", "MFileExit", ""}) {
        SCOPED_TRACE(element);
        VirtualClock clock;
        test::ScriptedScreen scripted;
        test::ScriptedPort port{clock};
        App app{scripted, clock, port};
        DispatchContext context{app};
        int ended = 0;
        context.endProgram = [&] { ++ended; };
        port.setCommPort(1);
        port.setPortOpen(true);
        app.phonebook.PBEntry = {"", "A/81/1"};
        app.phonebook.PBCount = 1;
        app.phonebook.Changed = true;
        scripted.messageAnswers = {Answer::Cancel, Answer::Discard};
        auto attempt = [&] { return *element ? dispatchElement(context, element) : !closeMainWindow(context); };
        attempt();
        EXPECT_TRUE(port.portOpen() && ended == 0);
        attempt();
        EXPECT_EQ(ended, 1);
        EXPECT_EQ(scripted.boxes("message").at(1).buttons, Buttons::SaveDiscardCancel);
    }
}

TEST_F(MainWindowTest, TermTextSeesCrLfAndCharacterPositions)
{
    screen.setTermText("A0A4\r\n9F 16\r\n");
    EXPECT_EQ(form1.term()->toPlainText(), "A0A4\n9F 16\n");
    screen.setTermCaret(termLength(screen.termText()));
    screen.termInsert("6F3A ");
    screen.termInsert("\r\n");
    EXPECT_EQ(screen.termText(), "A0A4\r\n9F 16\r\n6F3A \r\n");
    screen.setTermCaret(2);  // in the middle: the caret moves past the text
    screen.termInsert("xy");
    screen.termInsert("z");
    screen.setTermCaret(9);  // just after the first CR LF: both count
    screen.termInsert("|");
    EXPECT_EQ(screen.termText(), "A0xyzA4\r\n|9F 16\r\n6F3A \r\n");
    // Positions count characters, whatever their bytes in UTF-8; the scripted screen agrees.
    test::ScriptedScreen scripted;
    for (Screen* s : {static_cast<Screen*>(&screen), static_cast<Screen*>(&scripted)}) {
        s->setTermText("äö€1\r\n2");
        s->setTermCaret(3);
        s->termInsert("-");
        s->setTermCaret(7);
        s->termInsert("+");
        EXPECT_EQ(s->termText(), "äö€-1\r\n+2");
    }
    screen.setTermText("\nAB");  // a text cut inside a CR LF leaves no empty line behind
    EXPECT_EQ(screen.termText(), "AB");
}

// The pane of the real window, driven by keys as the user types them and by the operations.
struct TermPaneTest : MainWindowTest {
    TermPaneTest()
    {
        form1.setKeyHandler([this](int key) { return Term_KeyPress(app, key); });
        port.setCommPort(1);
        app.card.ShowInTerminal = 1;
    }
    void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
    {
        QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
        QApplication::sendEvent(form1.term(), &press);
    }
    void type(const QString& text)
    {
        for (QChar c : text)
            key(c == '\r' ? int(Qt::Key_Return) : c == '\b' ? int(Qt::Key_Backspace) : int(c.toUpper().unicode()), {}, QString(c));
    }
    QString pane() const { return form1.term()->toPlainText(); }
    VirtualClock clock;
    test::ScriptedPort port{clock};
    App app{screen, clock, port};
};

TEST_F(TermPaneTest, AnswersLandAtTheEndAfterNonAsciiText)
{
    type("Käyttäjä xy");  // the port is closed: typed as text
    port.setPortOpen(true);
    port.deliver("\x3B\x02\x14\x50", 260);  // after the reset pulse
    Command1_Click(app);  // "ATR on CTS"
    EXPECT_EQ(pane(), "Käyttäjä xy3B 02 14 50 \n");
    port.setPortOpen(false);
    type("ä");
    port.setPortOpen(true);
    type("A\bB");  // the caret stays at the end of the text
    EXPECT_EQ(pane(), "Käyttäjä xy3B 02 14 50 \näB");
    EXPECT_EQ(app.TypedHex, "B");
}

TEST_F(TermPaneTest, BackspaceVisiblyTakesBackADigitAfterAnAnswer)
{
    port.setPortOpen(true);
    type("A");
    port.deliver(std::string("\x90\x00", 2));
    OnComm(app, comm_event::Receive);  // a late answer after the digit
    ASSERT_EQ(pane(), "A90 00  = OK !\n");
    type("\b");
    EXPECT_EQ(pane(), "A90 00  = OK !");  // the line break went, the pane changed
}

TEST_F(TermPaneTest, PasteTypesAndNothingElseEditsThePane)
{
    port.setPortOpen(true);
    screen.setTermText("3B 02 \r\n");
    screen.setTermCaret(termLength(screen.termText()));
    QApplication::clipboard()->setText("A0 a4\r\n00 z");
    key(Qt::Key_V, Qt::ControlModifier);  // lower-case a is not taken; the line end does not send
    EXPECT_EQ(app.TypedHex, "A0400");
    EXPECT_TRUE(pane() == "3B 02 \nA0400" && port.writes.empty());
    // Cut, undo, Delete, deleting a word, a drop: none of them changes the pane.
    form1.term()->selectAll();
    key(Qt::Key_X, Qt::ControlModifier);
    key(Qt::Key_Z, Qt::ControlModifier);
    key(Qt::Key_Delete);
    key(Qt::Key_Backspace, Qt::ControlModifier);
    QMimeData dropped;
    dropped.setText("FF");
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form1.term()->viewport(), &drop);
    EXPECT_EQ(pane(), "3B 02 \nA0400");
    // The context menu's paste types too; Enter sends what the pane shows.
    QApplication::clipboard()->setText("B");
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5), form1.term()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(form1.term()->viewport(), &menuEvent);
    auto* paste = form1.term()->findChild<QAction*>("TermPaste");
    ASSERT_TRUE(paste && paste->isEnabled());
    paste->trigger();
    qobject_cast<QMenu*>(paste->parent())->close();
    type("\r");
    EXPECT_EQ(port.writes, std::vector<std::string>{"\xA0\x40\x0B"});
    EXPECT_EQ(pane(), "3B 02 \nA0400B ");
    // Switched off for input, the pane takes neither keys nor pastes.
    screen.setEnabled("Term", false);
    const QString before = pane();
    type("12");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(pane() == before && app.TypedHex.empty());
}

TEST_F(MainWindowTest, NamedControlsFiltersAndMessageBoxes)
{
    EXPECT_EQ(form1.findChild<QLabel*>("ACS61")->textFormat(), Qt::PlainText);  // labels never read markup
    screen.setRange("ProgressBar1", 0, 5);
    screen.setValue("ProgressBar1", 9);  // past the maximum: full, not ignored
    EXPECT_EQ(screen.value("ProgressBar1"), 5);
    screen.setText("NoSuchControl", "x");  // unknown names are harmless
    EXPECT_EQ(screen.text("NoSuchControl"), "");
    EXPECT_EQ(QtScreen::qtFilter("LOG Files(*.LOG)|*.log|All Files (*.*)|*.*"),
              "LOG Files(*.LOG) (*.log);;All Files (*.*) (*)");  // every file, with or without a dot
    EXPECT_EQ(QtScreen::qtFilter("Luettelot|*.phb;*.txt"), "Luettelot (*.phb *.txt)");
    // A box gives the answer clicked; the quit question's buttons are Finnish, Save the default.
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        for (QAbstractButton* button : box->buttons())
            shown += "|" + button->text();
        shown += "|" + box->defaultButton()->text();
        box->button(QMessageBox::Discard)->click();
    });
    EXPECT_EQ(screen.messageBox({"Tallennetaanko?", "Puolukka", Buttons::SaveDiscardCancel, Icon::Question, Answer::Save}),
              Answer::Discard);
    EXPECT_TRUE(shown.contains("|Älä tallenna") && shown.contains("|Peruuta") && shown.endsWith("|Tallenna"))
        << shown.toStdString();
    // A secret code is typed unseen.
    for (const bool secret : {true, false}) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            shown = dialog->textEchoMode() == QLineEdit::Password ? "masked" : "plain";
            dialog->setTextValue("1234");
            dialog->accept();
        });
        EXPECT_EQ(secret ? screen.secretInputBox("Anna PIN1:", "PIN1") : screen.inputBox("Nimi", "T"), "1234");
        EXPECT_EQ(shown, secret ? "masked" : "plain");
    }
}

// What the file dialog gives back when a name is typed with one of its filters chosen.
struct FileDialogTest : MainWindowTest {
    FileDialogTest() { test::fs::remove_all(dir), test::fs::create_directories(dir), touch("vanha"); }
    ~FileDialogTest() override { test::fs::remove_all(dir); }
    void touch(const std::string& name) { std::ofstream(dir / name) << "x"; }
    std::string choose(const char* filter, bool save, int filterIndex, const QString& typed)
    {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->setDirectory(QString::fromStdString(dir.string()));
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            types->setCurrentIndex(filterIndex);
            emit types->activated(filterIndex);  // as the user's choice does
            emit types->textActivated(types->itemText(filterIndex));
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
            static_cast<QDialog*>(dialog)->accept();  // the dialog's own Save/Open
        });
        const FileChoice choice = screen.fileDialog("t", filter, "", save);
        return choice.cancelled ? "cancelled" : test::fs::path(choice.path).filename().string();
    }
    test::fs::path dir = test::fs::temp_directory_path() / ("puolukka_dialog_" + std::to_string(::getpid()));
};

TEST_F(FileDialogTest, ATypedNameGetsTheChosenFiltersExtension)
{
    const char* save = "Luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt";
    const char* log = "LOG Files(*.LOG)|*.log|All Files (*.*)|*.*";
    const std::tuple<const char*, bool, int, const char*, const char*> cases[] = {
        {save, true, 0, "puhelin", "puhelin.phb"},
        {save, true, 2, "puhelin", "puhelin.txt"},
        {save, true, 1, "puhelin", "puhelin"},  // every file: the name as typed
        {save, true, 0, "puhelin.bak", "puhelin.bak"},
        {log, false, 0, "uusi", "uusi.log"},    // a new log file
        {log, false, 0, "vanha", "vanha"},      // an existing file is opened as it is
    };
    for (const auto& [filter, isSave, index, typed, expected] : cases)
        EXPECT_EQ(choose(filter, isSave, index, typed), expected) << typed << " " << index;
}

}  // namespace
}  // namespace puolukka
