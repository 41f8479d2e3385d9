#include "ui/dispatch.h"

#include <QAction>
#include <QCoreApplication>

#include "app/app.h"
#include "chv/chv.h"
#include "filesystem/explorer.h"
#include "link/line_events.h"
#include "link/reset.h"
#include "phonebook/card_transfer.h"
#include "phonebook/contact_files.h"
#include "phonebook/phonebook_file.h"
#include "ui/contacts_import.h"
#include "ui/terminal.h"

namespace puolukka {

namespace {

// Sets a flag for the lifetime of a scope.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& m_flag;
};

void endProgram(DispatchContext& c)
{
    c.ending = true;
    if (c.endProgram)
        c.endProgram();
    else
        QCoreApplication::exit(0);
}

// Quit (toolbar "Lopetus", the hidden "&Lopeta") and exit ("&Lopetus" of the
// menu) both close the port first, so the shutdown has no output to wait for.
// Closing a port that is already closed would only record an error. Unsaved
// changes to the phonebook are offered for saving first.
void quit(DispatchContext& c)
{
    if (!askSaveBeforeQuit(c.app))
        return;
    if (c.app.port.portOpen())
        c.app.port.setPortOpen(false);
    if (Form_Unload(c.app))
        return;
    endProgram(c);
}

void avaaOp(DispatchContext& c) { avaa(c.app); }
void savePB(DispatchContext& c) { SavePB_Click(c.app); }
void importContacts(DispatchContext& c) { TuoYhteystiedot_Click(c.app, c.mainWindow); }
void exportContacts(DispatchContext& c) { VieYhteystiedot_Click(c.app); }
void phnBook(DispatchContext& c) { PhnBook_Click(c.app); }
void writePB(DispatchContext& c) { WritePB_Click(c.app); }
void pbEdit(DispatchContext& c) { PBEdit_Click(c.app, c.phoneEdit, c.mainWindow); }
void settings(DispatchContext& c)
{
    MSettings_Click(c.app, c.configScrn, c.mainWindow, c.deviceOf, c.chooseDevices);
}
void guide(DispatchContext& c) { valmistus_Click(c.readerGuide, c.mainWindow); }
void about(DispatchContext& c) { tieto_Click(c.aboutBox, c.mainWindow); }

void inputLen(DispatchContext& c) { MInputLen_Click(c.app); }
void rThreshold(DispatchContext& c) { MRThreshold_Click(c.app); }
void sThreshold(DispatchContext& c) { MSThreshold_Click(c.app); }
void parRep(DispatchContext& c) { MParRep_Click(c.app); }
void dtrEnable(DispatchContext& c)
{
    const bool on = MDTREnable_Click(c.app);
    if (c.mainWindow)
        if (auto* item = c.mainWindow->findChild<QAction*>(QStringLiteral("MDTREnable")))
            item->setChecked(on);
}
void hcd(DispatchContext& c) { MHCD_Click(c.app); }
void hcts(DispatchContext& c) { MHCTS_Click(c.app); }
void hdsr(DispatchContext& c) { MHDSR_Click(c.app); }

void command1(DispatchContext& c) { Command1_Click(c.app); }
void command2(DispatchContext& c) { Command2_Click(c.app); }
void termCls(DispatchContext& c) { TermCLS_Click(c.app); }
void efdf(DispatchContext& c) { EFDF_Click(c.app); }
void rbinary(DispatchContext& c) { Rbinary_Click(c.app); }
void rrecord(DispatchContext& c) { RRecord_Click(c.app); }
void getResp(DispatchContext& c) { GetResp3_Click(c.app); }
void pinChv2(DispatchContext& c) { PinCHV2_Click(c.app); }
void puk1(DispatchContext& c) { PUK1_Click(c.app); }
void puk2(DispatchContext& c) { PUK2_Click(c.app); }
void openLog(DispatchContext& c) { OpenLogFile(c.app); }
void grok(DispatchContext& c) { GROK_Click(c.app); }

constexpr DispatchRow kTable[] = {
    // Toolbar1, by position; 3, 6, 8 and 10 are separators.
    {"Toolbar1_1", "Avaa luettelo", "avaa", avaaOp},
    {"Toolbar1_2", "Tallenna luettelo", "SavePB_Click", savePB},
    {"Toolbar1_3", "-", "", nullptr},
    {"Toolbar1_4", "Lue luettelo SIM:ltä", "PhnBook_Click", phnBook},
    {"Toolbar1_5", "Tallenna luettelo SIM:lle", "WritePB_Click", writePB},
    {"Toolbar1_6", "-", "", nullptr},
    {"Toolbar1_7", "Muokkaa luetteloa", "PBEdit_Click", pbEdit},
    {"Toolbar1_8", "-", "", nullptr},
    {"Toolbar1_9", "Asetukset", "MSettings_Click", settings},
    {"Toolbar1_10", "-", "", nullptr},
    {"Toolbar1_11", "Lopetus", "quit", quit},

    // Menu "&Tiedosto".
    {"availe", "&Avaa luettelo", "avaa", avaaOp},
    {"tallenna", "T&allenna luettelo", "SavePB_Click", savePB},
    {"tuoyhteystiedot", "Tuo yhteystiedot...", "TuoYhteystiedot_Click", importContacts},
    {"vieyhteystiedot", "Vie yhteystiedot...", "VieYhteystiedot_Click", exportContacts},
    {"barr1", "-", "", nullptr},
    {"lueluettelo", "Lu&e luettelo SIM:ltä", "PhnBook_Click", phnBook},
    {"kirjoitaluettelo", "&Kirjoita luettelo SIM:lle", "WritePB_Click", writePB},
    {"barr3", "-", "", nullptr},
    {"muokkaaluettelo", "M&uokkaa luetteloa", "PBEdit_Click", pbEdit},
    {"bar2", "-", "", nullptr},
    {"MFileExit", "&Lopetus", "MFileExit_Click", quit},
    // The menu-bar entry "A&setukset".
    {"MSettings", "A&setukset", "MSettings_Click", settings},
    // Menu "&Settings" (switched off but for DSRHolding).
    {"MInputLen", "&InputLen...", "MInputLen_Click", inputLen},
    {"MRThreshold", "&RThreshold...", "MRThreshold_Click", rThreshold},
    {"MSThreshold", "&SThreshold...", "MSThreshold_Click", sThreshold},
    {"MParRep", "P&arityReplace...", "MParRep_Click", parRep},
    {"MDTREnable", "&DTREnable", "MDTREnable_Click", dtrEnable},
    {"Bar3", "-", "", nullptr},
    {"MHCD", "&CDHolding...", "MHCD_Click", hcd},
    {"MHCTS", "CTSH&olding...", "MHCTS_Click", hcts},
    {"MHDSR", "DSRHo&lding...", "MHDSR_Click", hdsr},
    // Menu "&Ohje".
    {"valmistus", "Kortinlukijan valmistusohjeet", "valmistus_Click", guide},
    {"tieto", "Tietoja Puolukkasta", "tieto_Click", about},

    // The " Controls " frame.
    {"Command1", "ATR on CTS", "Command1_Click", command1},
    {"Command2", "ATR on DTR", "Command2_Click", command2},
    {"TermCLS", "CLS Term", "TermCLS_Click", termCls},
    {"PinCHV1", "  PIN1   #", "", nullptr},
    {"EFDF", "SELECT File", "EFDF_Click", efdf},
    {"Rbinary", "READ Bin", "Rbinary_Click", rbinary},
    {"RRecord", "READ Rec", "RRecord_Click", rrecord},
    {"GetResp3", "GET Resp.", "GetResp3_Click", getResp},
    {"PinCHV2", " PIN2   #", "PinCHV2_Click", pinChv2},
    {"PUK1", "PUK1 #", "PUK1_Click", puk1},
    {"PUK2", "PUK 2 #", "PUK2_Click", puk2},
    {"OLOG3", "Open Log", "OpenLogFile", openLog},
    {"ComSet3", "&ComPort", "MSettings_Click", settings},
    {"CLOG3", "Close LOG", "", nullptr},

    // Buttons that are never shown (LoadPB has no click operation).
    {"WritePB", "Tallenna Sim", "WritePB_Click", writePB},
    {"PhnBook", "Lue Sim", "PhnBook_Click", phnBook},
    {"PBEdit", "Muokkaa luetteloa", "PBEdit_Click", pbEdit},
    {"SavePB", "Tallenna luettelo", "SavePB_Click", savePB},
    {"LoadPB", "Avaa luettelo", "", nullptr},
    {"Lopeta", "&Lopeta", "quit", quit},

    // The OK button of Gresponse.
    {"GROK", "OK", "GROK_Click", grok},
};

// The operations that use the reader's line; before them a port whose device
// dropped (a network reader whose server restarted) is opened again.
bool usesLine(Operation op)
{
    for (Operation lineOperation : {phnBook, writePB, command1, command2, efdf, rbinary, rrecord, getResp, pinChv2,
                                    puk1, puk2, inputLen, rThreshold, sThreshold, parRep, dtrEnable, hcd, hcts, hdsr})
        if (op == lineOperation)
            return true;
    return false;
}

// Opens a dropped port again. A new connection may reach a card that was reset
// meanwhile, so the next phonebook transfer starts with a reset. False, after
// telling the user, when the reader cannot be reached.
bool reachReader(App& app, bool tellFailure)
{
    const bool wasOpen = app.port.portOpen();
    if (!app.port.reopenIfDropped()) {
        if (tellFailure)
            showMessage(app.screen, "Yhteys kortinlukijaan katkesi.\r" + app.port.lastError().description, kAppTitle,
                        Icon::Exclamation);
        return false;
    }
    if (!wasOpen && app.port.portOpen())
        app.card.CardReady = 0;
    return true;
}

}  // namespace

std::span<const DispatchRow> dispatchTable()
{
    return kTable;
}

const DispatchRow* findDispatchRow(std::string_view element)
{
    for (const DispatchRow& row : kTable)
        if (element == row.element)
            return &row;
    return nullptr;
}

bool dispatchElement(DispatchContext& context, std::string_view element)
{
    const DispatchRow* row = findDispatchRow(element);
    if (!row || !row->run || context.busy || context.polling || context.closing || context.ending)
        return false;
    FlagGuard busy(context.busy);
    if (usesLine(row->run) && !reachReader(context.app, true))
        return true;
    row->run(context);
    return true;
}

int dispatchTermKey(DispatchContext& context, int keyAscii)
{
    if (context.busy || context.polling || context.closing || context.ending)
        return 0;
    FlagGuard busy(context.busy);
    // The reader is tried again at every key; the user hears of a failure when Enter would send.
    reachReader(context.app, keyAscii == kKeyEnter);
    return Term_KeyPress(context.app, keyAscii);
}

void pollTick(DispatchContext& context)
{
    if (context.busy || context.polling || context.ending)
        return;
    FlagGuard polling(context.polling);
    pollPort(context.app);
}

bool closeMainWindow(DispatchContext& context)
{
    if (context.ending)
        return false;
    // A card operation is still running (its window events are being drawn):
    // closing now would pull the port from under it.
    if (context.busy || context.polling || context.closing)
        return true;
    {
        FlagGuard busy(context.busy);
        if (!askSaveBeforeQuit(context.app))
            return true;
    }
    {
        // The shutdown lets events through while output drains: the port's
        // events still run, clicks on the window do not.
        FlagGuard closing(context.closing);
        if (Form_Unload(context.app))
            return true;
    }
    endProgram(context);
    return false;
}

void Form_Load(App& app)
{
    app.card.CardReady = 0;
}

}  // namespace puolukka
