#include "filesystem/selection.h"

#include "app/app.h"
#include "conversions/conversions.h"
#include "filesystem/hex_text.h"
#include "link/exchange.h"

namespace puolukka {

namespace {

// What follows the identifier on its command line: twelve spaces and "= ".
constexpr const char* kLineSeparator = "            = ";

// SELECT: class, A4, P1 00, P2 00, two bytes of identifier to follow.
std::string selectHeader(const App& app) { return app.card.ClassByte + "A4000002"; }

// The identifier goes only when the card asks for it with its procedure byte
// (ISO 7816-3 T=0); a card that ended the command with a status word, or that
// did not answer, would take it for the next command. Its line is shown with it.
void sendIdentifier(App& app, CardCommand& select, const std::string& identifier, const std::string& lineText)
{
    if (!select.wantsData())
        return;
    commandLine(app, identifier + kLineSeparator + lineText + "\r\n");
    // The header announced two bytes: a shorter typed identifier is completed with
    // zero bits, as an odd last digit already is, so the card never waits for a byte
    // that would otherwise be taken from the next command.
    std::string bytes = HexToBytes(identifier);
    bytes.resize(2, '\0');
    select.data(bytes);
}

// The card answers a good SELECT with 9F and the length of the file's
// description: keep that last byte for the GET RESPONSE that follows.
void keepResponseLength(App& app) { app.card.ResponseLength = lastChars(app.card.AnswerHex, 2); }

// Header line first, then the header; then the identifier line and the identifier.
void selectInCurrentDirectory(App& app, const std::string& identifier, const std::string& lineText)
{
    const std::string header = selectHeader(app);
    commandLine(app, header + "\r\n");
    CardCommand select(app);
    select.header(HexToBytes(header));
    sendIdentifier(app, select, identifier, lineText);
}

void selectUnderRoot(App& app, const std::string& identifier, const std::string& lineText)
{
    SelRoot(app);
    // A card that did not answer the master file's selection is not there to ask further.
    if (app.card.cardAnswered)
        selectInCurrentDirectory(app, identifier, lineText);
    keepResponseLength(app);
}

}  // namespace

void SelRoot(App& app)
{
    // Here the header's line follows the card's answer to the header in the pane.
    const std::string header = selectHeader(app);
    CardCommand select(app);
    select.header(HexToBytes(header));
    commandLine(app, header + "\r\n");
    sendIdentifier(app, select, "3F00", "Root-MF 3F00");
    keepResponseLength(app);
}

void SelDF_GSM(App& app) { selectUnderRoot(app, "7F20", "DF-GSM 7F20"); }

void SelDF_TELECOM(App& app) { selectUnderRoot(app, "7F10", "DF-TELECOM 7F10"); }

// The second GSM directory (DCS1800 cards) carries the same caption as the first.
void SelDF_GSM2(App& app) { selectUnderRoot(app, "7F21", "DF-GSM 7F21"); }

void SelCmd(App& app, const std::string& CmdData, const std::string& FileData)
{
    selectInCurrentDirectory(app, CmdData, FileData);
    keepResponseLength(app);
}

}  // namespace puolukka
