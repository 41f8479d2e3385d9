#include "phonebook/card_transfer.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "app/app.h"
#include "app/settings_file.h"
#include "chv/chv.h"
#include "conversions/adn_codec.h"
#include "conversions/conversions.h"
#include "filesystem/selection.h"
#include "link/exchange.h"
#include "link/reset.h"
#include "phonebook/backup.h"
#include "phonebook/entry_check.h"
#include "phonebook/phonebook_file.h"
#include "phonebook/term_pane.h"
#include "phonebook/record_loops.h"
#include "phonebook/write_plan.h"
#include "link/t0_exchange.h"

namespace puolukka {

namespace {

constexpr const char* kNoCardText = "SIM-korttia ei löytynyt. Tarkista kortti!";
constexpr const char* kShortDescriptionText = "Kortin antama luettelon kuvaus on liian lyhyt. Siirto keskeytettiin.";
constexpr const char* kNoPhonebookText = "Ei luetteloa muistissaa!";
constexpr const char* kBrokenDescriptionText =
    "Kortin antama luettelon kuvaus tuli vajaana tai häiriintyneenä. Siirto keskeytettiin.";
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
    bool broken = false;  // it came cut short or hit on the line: none of it can be trusted
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
    const T0Answer& answer = getResponse.header(HexToBytes(app.card.ClassByte + "C00000" + app.card.ResponseLength));
    // Only an answer that came whole with 90 00 is decoded: with a byte lost or
    // hit on the line the size and the record length would be other numbers.
    if (answer.status == T0Status::Complete && answer.ok())
        return describeAdn(answer.data);
    AdnDescription none;
    none.broken = answer.status == T0Status::LineError || answer.status == T0Status::Incomplete;
    return none;
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
    if (adn.broken) {
        stopTransfer(app, kBrokenDescriptionText, Icon::Exclamation);
        return false;
    }
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
// and a read would take the card's refusals (98 04) for records. The code is
// kept only when the card said 90 00 to it; whatever else happened has been
// told (the card's refusal, a code of the wrong form, no whole answer) or was
// the user's own cancel. CardReady is not asked: an answer broken earlier
// (during the reset) clears it for the next operation, but the card that just
// took the code is in step.
bool pin1Given(App& app)
{
    if (app.card.Chv1State != "Enabled" || !app.card.Pin1Code.empty())
        return true;
    luepin(app);
    return !app.card.Pin1Code.empty();
}

// Ends a transfer cut short: the window goes, the user is told, and the next
// card operation starts with a reset.
void abandonTransfer(App& app, const std::string& text)
{
    hideProgress(app);
    app.card.ShowInTerminal = 1;
    app.card.CardReady = 0;
    showMessage(app.screen, text, kAppTitle, Icon::Exclamation);
}

// The status word the read leaves after each record, which RecordToEntry expects.
const std::string kStatusOk("\x90\x00", 2);

// The records as the file format keeps them: a phonebook of their entries.
Phonebook bookOfRecords(const std::vector<std::string>& records)
{
    Phonebook book;
    for (std::size_t i = 1; i < records.size(); ++i)
        book.PBEntry.push_back(RecordToEntry(records[i] + kStatusOk));
    book.PBCount = int(records.size()) - 1;
    return book;
}

// The card's records as they are now: the copy from this session when it is
// of this very card (same ICCID, no reset or card change since) and of this
// file's shape, otherwise read from the card (with the progress window).
bool cardRecordsNow(App& app, const std::string& iccid, int recLen, const std::string& recLenText, int count,
                    std::vector<std::string>& records)
{
    const CardCopy& copy = app.phonebook.LastCard;
    if (!iccid.empty() && copy.iccid == iccid && copy.session == app.card.CardSession && copy.recLen == recLen
        && int(copy.records.size()) == count + 1) {
        records = copy.records;
        return true;
    }
    const LoopResult read = readAdnRecords(app, count, recLenText, records);
    if (read.outcome != LoopOutcome::Done) {
        abandonTransfer(app, "Kortin nykyistä luetteloa ei voitu lukea ennen kirjoitusta. " + loopOutcomeText(read)
                                 + " Korttia ei muutettu.");
        return false;
    }
    appendToTerm(app, "\r\n");
    LogTxt(app, "\r\n");
    for (std::string& record : records)
        if (record.size() >= 2)
            record.resize(record.size() - 2);  // the status word
    return true;
}

// The lines that name the entries a write leaves alone; empty when none.
std::string skippedText(const std::vector<EntryFault>& skipped)
{
    if (skipped.empty())
        return {};
    return "\nNäitä muistipaikkoja ei kirjoiteta, koska niitä ei voi tallentaa sellaisenaan:\n"
           + faultList(skipped, "muistipaikka");
}

// Saves the card's records before a write changes them. False (with the
// message shown) when no backup could be made: the card is then not written.
bool backUpCard(App& app, const std::string& iccid, const std::vector<std::string>& records, std::string& path)
{
    const Phonebook book = bookOfRecords(records);
    std::string reason;
    if (const int lost = firstEntryLostInFile(book))
        reason = "muistipaikan " + std::to_string(lost) + " nimessä on rivinvaihto, jota luettelotiedosto ei voi säilyttää";
    else if (writeBackup(backupFolder(), backupFileName(iccid, std::time(nullptr)), phonebookFileText(book), path, reason))
        return true;
    abandonTransfer(app, "Kortin nykyisestä luettelosta ei voitu tehdä varmuuskopiota (" + reason
                             + "). Korttia ei muutettu.");
    return false;
}

// The one question before the card changes: how many records, where the backup is.
bool confirmWrite(App& app, const WritePlan& plan, const std::string& backupPath)
{
    const std::size_t n = plan.changed.size();
    const MessageBox box{"Kirjoitetaanko luettelo SIM-kortille?\n\nKortilla muuttuu " + std::to_string(n)
                             + (n == 1 ? " muistipaikka: " : " muistipaikkaa: ") + recordList(plan.changed) + ".\n"
                             + skippedText(plan.skipped)
                             + "\nKortin nykyinen luettelo on tallennettu varmuuskopioksi tiedostoon\n" + backupPath
                             + "\n(sen voi palauttaa komennolla Avaa luettelo).",
                         kAppTitle, Buttons::YesNo, Icon::Question, Answer::No};
    return app.screen.messageBox(box) == Answer::Yes;
}

std::string doneText(int count) { return " Done : " + numberWithSign(count) + " Records \r\n"; }

}  // namespace

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

    const std::string iccid = readIccid(app);
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
    const LoopResult read = readAdnRecords(app, count, adn.recLenText, entries);
    if (read.outcome != LoopOutcome::Done) {
        abandonTransfer(app, loopOutcomeText(read) + " Muistissa oleva luettelo säilyi ennallaan.");
        return;
    }
    const std::string done = doneText(count);
    appendToTerm(app, done);
    LogTxt(app, done);
    CardCopy copy{iccid, card.CardSession, adn.recLen, entries};
    for (int i = 1; i <= count; ++i) {
        copy.records[std::size_t(i)].resize(std::size_t(adn.recLen));  // without the status word
        entries[std::size_t(i)] = RecordToEntry(entries[std::size_t(i)]);
    }
    app.phonebook.LastCard = std::move(copy);

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
    const std::string iccid = readIccid(app);
    if (!selectAdn(app)) {
        stopTransfer(app, kNoCardText);
        return;
    }
    const AdnDescription adn = fetchAdnDescription(app);
    const int cardCount = recordCount(adn.fileSize, adn.recLen);
    if (!usableAdn(app, adn, cardCount))
        return;
    book.CardRecLen = adn.recLen;
    // What does not fit stays in memory (and in the next save); the card gets what fits.
    const bool allFit = book.PBCount <= cardCount;
    if (!allFit) {
        std::vector<int> left;
        for (int i = cardCount + 1; i <= book.PBCount; ++i)
            left.push_back(i);
        showMessage(app.screen, " Enemmän muistipaikkoja kuin SIM:llä vähennetään " + numberWithSign(cardCount)
                                    + " muistipaikkaan\n\nMuistipaikat " + recordList(left)
                                    + " eivät mahdu kortille. Ne säilyvät muistissa olevassa luettelossa.");
    }

    std::vector<std::string> current;
    if (!cardRecordsNow(app, iccid, adn.recLen, adn.recLenText, cardCount, current))
        return;
    const WritePlan plan = planWrite(book, current, adn.recLen);
    if (plan.notice != RecLenNotice::None) {
        appendToTerm(app, recLenWarningText(plan.notice));
        book.RecLenWarning = 0;
    }
    if (plan.changed.empty()) {
        hideProgress(app);
        showMessage(app.screen, "Kortilla on jo tämä luettelo: yhtään muistipaikkaa ei tarvitse kirjoittaa. "
                                "Korttia ei muutettu." + skippedText(plan.skipped),
                    kAppTitle, Icon::Information);
        book.LastCard = CardCopy{iccid, card.CardSession, adn.recLen, current};
        book.Changed = book.Changed && !(allFit && plan.skipped.empty());
        return;
    }
    std::string backupPath;
    if (!backUpCard(app, iccid, current, backupPath))
        return;
    hideProgress(app);
    if (!confirmWrite(app, plan, backupPath))
        return;

    card.ShowInTerminal = 0;
    SelDF_TELECOM(app);
    SelCmd(app, "6F3A", "ADN");
    card.CurrentDirectory = kTelecomDirectory;
    card.CurrentFile = kAdnFile;
    card.ShowInTerminal = 1;

    const LoopResult result = writeAdnRecords(app, plan.records, plan.changed, adn.recLenText);
    for (const int n : result.written)
        current[std::size_t(n)] = plan.records[std::size_t(n)];
    // After a failure the record it stopped at may hold anything: the next write reads the card first.
    book.LastCard = CardCopy{iccid, result.outcome == LoopOutcome::Done ? card.CardSession : -1, adn.recLen, current};
    if (result.outcome != LoopOutcome::Done) {
        // The record the loop stopped at is named apart when its bytes had gone
        // to the card: it may hold them, its old bytes or a mix. The lists are
        // whole: what the card now holds is known from them alone.
        std::vector<int> notWritten;
        for (const int n : plan.changed)
            if (std::find(result.written.begin(), result.written.end(), n) == result.written.end()
                && !(result.unsure && n == result.record))
                notWritten.push_back(n);
        abandonTransfer(app, loopOutcomeText(result) + "\n\nKirjoitetut muistipaikat: "
                                 + (result.written.empty() ? std::string("ei yhtään") : recordList(result.written, true))
                                 + ".\n"
                                 + (result.unsure ? "Kesken jäi: " + std::to_string(result.record)
                                                        + " (sen sisältö voi olla vanha, uusi tai viallinen).\n"
                                                  : std::string())
                                 + (notWritten.empty() ? std::string()
                                                       : "Kirjoittamatta jäivät: " + recordList(notWritten, true) + ".\n")
                                 + "Kortin aiempi luettelo on varmuuskopiona tiedostossa " + backupPath + ".");
        return;
    }
    const std::string done = doneText(plan.covered);
    if (card.ShowInTerminal == 1)
        appendToTerm(app, done);
    LogTxt(app, done);
    if (allFit && plan.skipped.empty())
        book.Changed = false;
    hideProgress(app);
}

}  // namespace puolukka
