#include "phonebook/card_transfer.h"

#include <algorithm>
#include <utility>

#include "app/app.h"
#include "app/settings_file.h"
#include "chv/chv.h"
#include "conversions/adn_codec.h"
#include "conversions/conversions.h"
#include "filesystem/selection.h"
#include "link/exchange.h"
#include "link/reset.h"
#include "phonebook/entry_check.h"
#include "phonebook/phonebook_file.h"
#include "phonebook/term_pane.h"
#include "phonebook/record_loops.h"
#include "link/t0_exchange.h"

namespace puolukka {

namespace {

constexpr const char* kNoCardText = "SIM-korttia ei löytynyt. Tarkista kortti!";
constexpr const char* kShortDescriptionText = "Kortin antama luettelon kuvaus on liian lyhyt. Siirto keskeytettiin.";
constexpr const char* kNoPhonebookText = "Ei luetteloa muistissaa!";
constexpr const char* kTelecomDirectory = "DF-7F10-TELECOM";
constexpr const char* kAdnFile = "EF-6F3A-ADN";
// READ RECORD and UPDATE RECORD address a record by its one-byte number.
constexpr int kMaxRecords = 255;
// GSM 11.11 9.2.1: the record length is byte 15 of an EF's description.
constexpr std::size_t kAdnDescriptionBytes = 15;
// GSM 11.11 10.5.1: an ADN record ends with 14 bytes of number, TON/NPI and identifiers.
constexpr int kMinAdnRecordLength = 14;

// The text of an answer from 1-based character position on, as many as there
// are: positions past the end read as empty text.
std::string mid(const std::string& text, std::size_t position, std::size_t length)
{
    if (position == 0 || position > text.size())
        return {};
    return text.substr(position - 1, length);
}

// What the GET RESPONSE of EF ADN tells: its size (bytes 3-4) and record
// length (byte 15), read from the description the card sent, NULL bytes and
// procedure bytes left out.
struct AdnDescription {
    std::size_t length = 0;  // description bytes that came
    int fileSize = 0;
    std::string recLenText;  // two hex digits as the card gave them, P3 of the record commands
    int recLen = 0;
};

AdnDescription describeAdn(const std::string& description)
{
    AdnDescription d;
    const std::string hex = bytesToHex(description);
    d.length = description.size();
    d.fileSize = HexToValue(mid(hex, 5, 2)) * 256 + HexToValue(mid(hex, 7, 2));
    d.recLenText = mid(hex, 29, 2);
    d.recLen = HexToValue(d.recLenText);
    return d;
}

// Records in the file: the size over the record length, rounded to the nearest
// whole number with a half going to the even one.
int recordCount(int fileSize, int recLen)
{
    if (recLen == 0)
        return 0;
    int count = fileSize / recLen;
    const int twiceRest = 2 * (fileSize % recLen);
    if (twiceRest > recLen || (twiceRest == recLen && count % 2 != 0))
        ++count;
    return std::min(count, kMaxRecords);
}

// Selects EF ADN under DF TELECOM and shows where the card now stands. False
// when the card stopped answering.
bool selectAdn(App& app)
{
    SelDF_TELECOM(app);
    if (app.card.cardAnswered)
        SelCmd(app, "6F3A", "ADN");
    app.card.CurrentDirectory = kTelecomDirectory;
    app.card.CurrentFile = kAdnFile;
    app.screen.setText("Label3", " " + app.card.CurrentDirectory);
    return app.card.cardAnswered;
}

// Re-selects the file silently and fetches its description.
AdnDescription fetchAdnDescription(App& app)
{
    Test_Response(app);
    CardCommand getResponse(app);
    return describeAdn(getResponse.header(HexToBytes(app.card.ClassByte + "C00000" + app.card.ResponseLength)).data);
}

// The card cannot be used: the user is told why, and the next card operation
// starts with a reset.
void stopTransfer(App& app, const std::string& text, Icon icon = Icon::None)
{
    showMessage(app.screen, text, kAppTitle, icon);
    app.card.CardReady = 0;
}

// Decodes only what the card described: a description too short to hold the
// record length, or records too short for an ADN entry, stop the transfer
// before anything is read or written.
bool usableAdn(App& app, const AdnDescription& adn, int count)
{
    if (adn.length > 0 && adn.length < kAdnDescriptionBytes) {
        stopTransfer(app, kShortDescriptionText, Icon::Exclamation);
        return false;
    }
    if (adn.recLen > 0 && adn.recLen < kMinAdnRecordLength) {
        stopTransfer(app, "Kortin luettelon tietueet ovat liian lyhyitä (" + std::to_string(adn.recLen) +
                              " tavua, vähintään 14). Siirto keskeytettiin.",
                     Icon::Exclamation);
        return false;
    }
    if (count == 0) {
        stopTransfer(app, kNoCardText);
        return false;
    }
    return true;
}

// PIN1 is asked when the card wants it and has not had it since its reset.
// The transfer goes on only when the card accepted it: a wrong, blocked,
// cancelled or malformed PIN leaves every record unreadable and unwritable,
// and a read would take the card's refusals (98 04) for records.
bool pin1Given(App& app)
{
    if (app.card.Chv1State != "Enabled" || !app.card.Pin1Code.empty())
        return true;
    luepin(app);
    return app.card.CardReady != 0 && !app.card.Pin1Code.empty();
}

void hideProgress(App& app)
{
    app.screen.setVisible("Form2", false);
    app.screen.setValue("ProgressBar1", 0);
}

void showProgress(App& app, const std::string& caption, int maximum)
{
    app.screen.setText("Form2", caption);
    app.screen.setRange("ProgressBar1", 0, maximum);
    app.screen.setVisible("Form2", true);
}

// Ends a transfer cut short: the window goes, the user is told, and the next
// card operation starts with a reset.
void abandonTransfer(App& app, LoopOutcome outcome)
{
    hideProgress(app);
    app.card.ShowInTerminal = 1;
    app.card.CardReady = 0;
    showMessage(app.screen, loopOutcomeText(outcome), kAppTitle, Icon::Exclamation);
}

std::string doneText(int count) { return " Done : " + numberWithSign(count) + " Records \r\n"; }

}  // namespace

std::string loopOutcomeText(LoopOutcome outcome)
{
    switch (outcome) {
    case LoopOutcome::LineLost:
        return "Yhteys kortinlukijaan katkesi. Siirto keskeytettiin.";
    case LoopOutcome::CardMute:
        return "SIM-kortti lakkasi vastaamasta. Siirto keskeytettiin.";
    case LoopOutcome::Done:
        break;
    }
    return {};
}

LoopOutcome readAdnRecords(App& app, int count, const std::string& recLenText,
                           std::vector<std::string>& entries)
{
    entries.assign(std::size_t(std::max(count, 0)) + 1, std::string());
    const T0Line line = t0Line(app);
    bool progressShown = false;
    for (int i = 1; i <= count; ++i) {
        T0Command read(line);
        const T0Answer answer = read.sendHeader(HexToBytes(app.card.ClassByte + "B2" + hexByte(i) + "04" + recLenText));
        if (answer.lineLost())
            return LoopOutcome::LineLost;
        if (answer.status == T0Status::Mute)
            return LoopOutcome::CardMute;
        if (!progressShown) {
            showProgress(app, "Luetaan muistia", count);
            progressShown = true;
        }
        appendToTerm(app, ".");
        LogTxt(app, ".");
        app.screen.setText("RinProc2", numberWithSign(i));
        // The record and its status word: what followed the echo and the
        // procedure byte (an answer that ended early keeps it undecoded).
        entries[std::size_t(i)] = mid(answer.line, 7, std::string::npos);
        app.screen.setValue("ProgressBar1", i);
    }
    return LoopOutcome::Done;
}

LoopOutcome writeAdnRecords(App& app, const std::vector<std::string>& records, const std::string& recLenText)
{
    const int count = int(records.size()) - 1;
    const T0Line line = t0Line(app);
    bool progressShown = false;
    for (int i = 1; i <= count; ++i) {
        T0Command update(line);
        const T0Answer procedure =
            update.sendHeader(HexToBytes(app.card.ClassByte + "DC" + hexByte(i) + "04" + recLenText));
        if (procedure.lineLost())
            return LoopOutcome::LineLost;
        if (procedure.status == T0Status::Mute)
            return LoopOutcome::CardMute;

        bool written = false;
        // A status word instead of the procedure byte (98 04: access condition
        // not fulfilled) has ended the command: the record is not sent, or
        // the card would take its bytes for the next command.
        if (update.wantsData()) {
            const T0Answer result = update.sendData(records[std::size_t(i)]);
            if (result.lineLost())
                return LoopOutcome::LineLost;
            if (result.status == T0Status::Mute)
                return LoopOutcome::CardMute;
            written = result.status == T0Status::Complete && result.ok();
        }
        if (!progressShown) {
            showProgress(app, "Kirjoitetaan muistia", count + 2);
            progressShown = true;
        }
        const std::string mark = written ? "." : "X";
        if (app.card.ShowInTerminal == 1)
            appendToTerm(app, mark);
        LogTxt(app, mark);
        app.screen.setText("RinProc2", numberWithSign(i));
        app.screen.setValue("ProgressBar1", i);
    }
    return LoopOutcome::Done;
}

void PhnBook_Click(App& app)
{
    CardState& card = app.card;
    if (card.CardReady == 0) {
        resetointi(app);
        if (!card.cardAnswered) {
            stopTransfer(app, kNoCardText);
            return;
        }
    }
    app.screen.setEnabled("GetResp3", false);
    if (!pin1Given(app))
        return;
    if (app.phonebook.PBCount != 0 && !confirmReplace(app))
        return;

    if (!selectAdn(app)) {
        stopTransfer(app, kNoCardText);
        return;
    }
    const AdnDescription adn = fetchAdnDescription(app);
    // The phonebook in memory stays when the card cannot be read: the user
    // agreed to replace it with the card's, not with nothing.
    if (!usableAdn(app, adn, recordCount(adn.fileSize, adn.recLen)))
        return;
    const int count = recordCount(adn.fileSize, adn.recLen);

    // Records are gathered apart and replace the phonebook only when all of
    // them were read.
    std::vector<std::string> entries;
    const LoopOutcome outcome = readAdnRecords(app, count, adn.recLenText, entries);
    if (outcome != LoopOutcome::Done) {
        abandonTransfer(app, outcome);
        return;
    }
    const std::string done = doneText(count);
    appendToTerm(app, done);
    LogTxt(app, done);
    for (int i = 1; i <= count; ++i)
        entries[std::size_t(i)] = RecordToEntry(entries[std::size_t(i)]);

    app.phonebook.PBEntry = std::move(entries);
    app.phonebook.PBCount = count;
    // The editor's name field takes what the card's alpha field holds.
    app.phonebook.CardRecLen = adn.recLen;
    app.phonebook.Changed = false;
    app.screen.setEnabled("WritePB", true);
    card.ShowInTerminal = 1;
    hideProgress(app);
}

void WritePB_Click(App& app)
{
    CardState& card = app.card;
    Phonebook& book = app.phonebook;
    if (card.CardReady == 0) {
        resetointi(app);
        if (!card.cardAnswered) {
            stopTransfer(app, kNoCardText);
            return;
        }
    }
    // The terminal takes no typing while the card is being written; it is
    // given back however the write ends.
    app.screen.setEnabled("Term", false);
    const TerminalRelease release(app);
    book.RecLenWarning = 1;
    app.screen.setEnabled("GetResp3", false);
    if (!pin1Given(app))
        return;
    if (book.PBCount == 0) {
        showMessage(app.screen, kNoPhonebookText, kAppTitle, Icon::Exclamation);
        return;
    }
    // An entry that cannot be written exactly is never turned into other bytes.
    const std::vector<EntryFault> faults = entryFaults(book.PBEntry);
    if (!faults.empty()) {
        showMessage(app.screen,
                    "Näitä muistipaikkoja ei voi kirjoittaa kortille sellaisenaan:\n" + faultList(faults, "muistipaikka")
                        + "\nKorjaa ne ensin. Korttia ei muutettu.",
                    kAppTitle, Icon::Exclamation);
        return;
    }

    if (!selectAdn(app)) {
        stopTransfer(app, kNoCardText);
        return;
    }
    const AdnDescription adn = fetchAdnDescription(app);
    const int cardCount = recordCount(adn.fileSize, adn.recLen);
    if (!usableAdn(app, adn, cardCount))
        return;
    book.CardRecLen = adn.recLen;
    if (cardCount < book.PBCount) {
        showMessage(app.screen, " Enemmän muistipaikkoja kuin SIM:llä vähennetään " + numberWithSign(cardCount)
                                    + " muistipaikkaan");
        book.PBCount = cardCount;
        book.PBEntry.resize(std::size_t(cardCount) + 1);
    }

    book.CardRecord.assign(std::size_t(book.PBCount) + 1, std::string());
    for (int i = 1; i <= book.PBCount; ++i) {
        const std::string& entry = i < int(book.PBEntry.size()) ? book.PBEntry[std::size_t(i)] : std::string();
        RecLenNotice notice = RecLenNotice::None;
        std::string record = EntryToRecord(entry, book.CardRecLen, book.RecLenWarning, &notice);
        // The card takes exactly P3 bytes; anything else would leave it out of step.
        record.resize(std::size_t(book.CardRecLen), char(0xFF));
        book.CardRecord[std::size_t(i)] = std::move(record);
        if (notice != RecLenNotice::None)
            appendToTerm(app, recLenWarningText(notice));
    }

    card.ShowInTerminal = 0;
    SelDF_TELECOM(app);
    SelCmd(app, "6F3A", "ADN");
    card.CurrentDirectory = kTelecomDirectory;
    card.CurrentFile = kAdnFile;
    card.ShowInTerminal = 1;

    const LoopOutcome outcome = writeAdnRecords(app, book.CardRecord, adn.recLenText);
    book.CardRecord.assign(1, std::string());
    if (outcome != LoopOutcome::Done) {
        abandonTransfer(app, outcome);
        return;
    }
    const std::string done = doneText(book.PBCount);
    if (card.ShowInTerminal == 1)
        appendToTerm(app, done);
    LogTxt(app, done);
    book.Changed = false;
    hideProgress(app);
}

}  // namespace puolukka
