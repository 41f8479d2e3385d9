#include "phonebook/record_loops.h"

#include <algorithm>

#include "app/app.h"
#include "app/settings_file.h"
#include "conversions/conversions.h"
#include "link/exchange.h"
#include "link/t0_exchange.h"
#include "phonebook/backup.h"
#include "phonebook/term_pane.h"

namespace puolukka {

namespace {

// GSM 11.11 10.1.1: EF ICCID holds 10 bytes.
constexpr int kIccidBytes = 10;
// Record numbers named in a message before "..." stands for the rest.
constexpr std::size_t kListedRuns = 12;

std::string recordCommand(const App& app, const char* ins, int record, const std::string& recLenText)
{
    return HexToBytes(app.card.ClassByte + ins + hexByte(record) + "04" + recLenText);
}

std::string spacedStatus(const std::string& status2)
{
    return status2.size() == 2 ? hexByte((unsigned char)status2[0]) + " " + hexByte((unsigned char)status2[1])
                               : std::string();
}

// How an answer that is not a whole record with 90 00 stops the loop.
LoopResult stopped(const T0Answer& answer, int record)
{
    LoopResult result;
    result.record = record;
    result.statusWord = spacedStatus(answer.status2);
    if (answer.lineLost())
        result.outcome = LoopOutcome::LineLost;
    // Part of an answer, or one hit on the line, is no answer of the card's.
    else if (answer.status == T0Status::LineError || (answer.status == T0Status::Incomplete && answer.status2.empty()))
        result.outcome = LoopOutcome::Broken;
    else if (answer.status == T0Status::Mute)
        result.outcome = LoopOutcome::CardMute;
    else
        result.outcome = LoopOutcome::Refused;
    return result;
}

// The answer brought the whole record and 90 00.
bool wholeRecord(const T0Answer& answer, int recLen)
{
    return answer.status == T0Status::Complete && answer.ok() && int(answer.data.size()) == recLen;
}

void mark(App& app, const char* text)
{
    if (app.card.ShowInTerminal == 1)
        appendToTerm(app, text);
    LogTxt(app, text);
}

}  // namespace

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

LoopResult readAdnRecords(App& app, int count, const std::string& recLenText, std::vector<std::string>& records)
{
    records.assign(std::size_t(std::max(count, 0)) + 1, std::string());
    const int recLen = HexToValue(recLenText);
    const T0Line line = t0Line(app);
    bool progressShown = false;
    for (int i = 1; i <= count; ++i) {
        T0Command read(line);
        const T0Answer answer = read.sendHeader(recordCommand(app, "B2", i, recLenText));
        if (answer.lineLost() || answer.status == T0Status::Mute)
            return stopped(answer, i);
        if (!progressShown) {
            showProgress(app, "Luetaan muistia", count);
            progressShown = true;
        }
        app.screen.setText("RinProc2", numberWithSign(i));
        // A record that did not come whole with 90 00 (GSM 11.11 9.4: 94 02
        // out of range, 92 40 memory problem, 98 04 access refused) is not a
        // record: the read stops before anything is taken for one.
        if (!wholeRecord(answer, recLen))
            return stopped(answer, i);
        mark(app, ".");
        records[std::size_t(i)] = answer.data + answer.status2;
        app.screen.setValue("ProgressBar1", i);
    }
    return {};
}

LoopResult writeAdnRecords(App& app, const std::vector<std::string>& records, const std::vector<int>& numbers,
                           const std::string& recLenText)
{
    const T0Line line = t0Line(app);
    LoopResult result;
    bool progressShown = false;
    int step = 0;
    for (const int i : numbers) {
        const std::string& record = records[std::size_t(i)];
        T0Command update(line);
        T0Answer answer = update.sendHeader(recordCommand(app, "DC", i, recLenText));
        // A status word instead of the procedure byte (98 04: access condition
        // not fulfilled) has ended the command: the record is not sent, or
        // the card would take its bytes for the next command.
        const bool sent = update.wantsData();
        if (sent)
            answer = update.sendData(record);
        if (answer.lineLost() || answer.status == T0Status::Mute) {
            LoopResult lost = stopped(answer, i);
            lost.written = result.written;
            lost.unsure = sent;
            return lost;
        }
        if (!progressShown) {
            showProgress(app, "Kirjoitetaan muistia", int(numbers.size()) + 2);
            progressShown = true;
        }
        app.screen.setText("RinProc2", numberWithSign(i));
        app.screen.setValue("ProgressBar1", ++step);
        if (!(answer.status == T0Status::Complete && answer.ok())) {
            mark(app, "X");
            LoopResult refused = stopped(answer, i);
            refused.written = result.written;
            refused.unsure = sent;
            return refused;
        }
        // Read it back: the card's 90 00 says it took the bytes, the record
        // itself says it kept them.
        T0Command read(line);
        const T0Answer back = read.sendHeader(recordCommand(app, "B2", i, recLenText));
        if (!wholeRecord(back, int(record.size())) || back.data != record) {
            mark(app, "X");
            LoopResult differs = stopped(back, i);
            if (differs.outcome == LoopOutcome::Refused && wholeRecord(back, int(record.size())))
                differs.outcome = LoopOutcome::Differs;
            differs.written = result.written;
            differs.unsure = true;
            return differs;
        }
        mark(app, ".");
        result.written.push_back(i);
    }
    return result;
}

std::string loopOutcomeText(const LoopResult& result)
{
    const std::string record = std::to_string(result.record);
    const std::string status = result.statusWord.empty() ? std::string() : " (kortti vastasi " + result.statusWord + ")";
    switch (result.outcome) {
    case LoopOutcome::LineLost:
        return "Yhteys kortinlukijaan katkesi. Siirto keskeytettiin.";
    case LoopOutcome::CardMute:
        return "SIM-kortti lakkasi vastaamasta. Siirto keskeytettiin.";
    case LoopOutcome::Refused:
        return "Kortti ei hyväksynyt muistipaikkaa " + record + status + ". Siirto keskeytettiin.";
    case LoopOutcome::Differs:
        return "Muistipaikka " + record + " luettiin takaisin eri sisältöisenä kuin se kirjoitettiin: "
               "kortti ei tallentanut sitä oikein. Siirto keskeytettiin.";
    case LoopOutcome::Broken:
        return "Kortin vastaus muistipaikan " + record + " kohdalla tuli vajaana tai häiriintyneenä, "
               "eikä sitä voi käyttää. Siirto keskeytettiin.";
    case LoopOutcome::Done:
        break;
    }
    return {};
}

std::string recordList(const std::vector<int>& numbers, bool whole)
{
    std::string text;
    std::size_t runs = 0;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        if (runs++ == kListedRuns && !whole) {
            text += ", ...";
            break;
        }
        text += (text.empty() ? "" : ", ") + std::to_string(numbers[i]);
        if (j > i)
            text += (j == i + 1 ? ", " : "–") + std::to_string(numbers[j]);
        i = j + 1;
    }
    return text;
}

std::string readIccid(App& app)
{
    const T0Line line = t0Line(app);
    const std::string select = HexToBytes(app.card.ClassByte + "A4000002");
    for (const char* file : {"3F00", "2FE2"}) {
        T0Command command(line);
        const T0Answer asked = command.sendHeader(select);
        if (!command.wantsData()) {
            resetNextIfBroken(app, asked);
            return {};
        }
        const T0Answer answer = command.sendData(HexToBytes(file));
        resetNextIfBroken(app, answer);
        if (answer.status2.empty() || (unsigned char)answer.status2[0] != 0x9F)
            return {};
    }
    T0Command read(line);
    const T0Answer answer = read.sendHeader(HexToBytes(app.card.ClassByte + "B00000" + hexByte(kIccidBytes)));
    resetNextIfBroken(app, answer);
    if (answer.status != T0Status::Complete || !answer.ok())
        return {};
    return iccidDigits(answer.data);
}

}  // namespace puolukka
