// Faults on purpose: thousands of phonebook reads and writes on the virtual
// card (demo card: 100 records of 28 bytes, PIN1 1234, 9600 baud, virtual
// clock) while a seeded schedule in the reader (sim::FaultPlan) drops and
// flips characters, flags parity errors, sends NULL byte storms, pulls the
// card out and pushes it back, resets the card and pulls out the adapter.
//
// After every transfer the card, the phonebook in memory and a saved file are
// checked against a copy taken before it:
// - a transfer that ended with " Done" (or a write that found nothing to
//   write) left the card exactly as planned, the phonebook in memory the
//   card's (read) or as it was (write), and a save and an open of the
//   phonebook give its entries back byte for byte;
// - any other transfer said why in a message, left the phonebook in memory as
//   it was, and left every card record with its old content, or with its new
//   one where the message names it as written (or as not known for certain).
// Anything else counts as lost. PIN1 attempts the card counted are checked too.
//
// Between transfers the soak does what the program and its user would: the
// event loop hands the port's events to OnComm every 55 ms (Interval), a card
// out of the reader is pushed back in, and a port whose adapter was pulled out
// is plugged back in and opened again as the port settings dialog's OK does.
//
// Usage: soak_bench [SEED [TRANSFERS [SHOW]]]  (defaults 1, 5000). SHOW: a
// transfer number whose boxes and terminal text are printed. One line per
// fault kind, then "transfers T faults F failures R lost L"; the exit status
// is 1 when anything was lost. A reported problem is replayed with its seed
// and transfer number.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "card_fixture.cpp"
#include "scripted_screen.cpp"

#include "conversions/adn_codec.h"
#include "link/line_events.h"
#include "phonebook/backup.h"
#include "phonebook/card_transfer.h"
#include "phonebook/phonebook_file.h"
#include "sim/fault_plan.h"

namespace {

using namespace puolukka;
using sim::Fault;

constexpr std::uint16_t kAdn = 0x6F3A;
constexpr int kRecLen = 28;
const std::string kOk("\x90\x00", 2);

// The soak's own choices (which operation, which edits): a stream apart from the faults'.
struct Dice {
    std::uint64_t state;
    int operator()(int low, int high)
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return low + int(z % std::uint64_t(high - low + 1));
    }
};

// The chance of each fault at each of its opportunities: a character on the
// line (about 4000 in a whole read), or an answer of the card (NULL storms).
// SOAK_RATE multiplies them all.
void setChances(sim::FaultPlan& plan)
{
    const char* rate = std::getenv("SOAK_RATE");
    const double k = rate ? std::atof(rate) : 1.0;
    plan.setChance(Fault::DroppedByte, 2e-5 * k);
    plan.setChance(Fault::FlippedByte, 2e-5 * k);
    plan.setChance(Fault::ParityError, 2e-5 * k);
    plan.setChance(Fault::NullStorm, 2e-4 * k);
    plan.setChance(Fault::CardRemoved, 1e-5 * k);
    plan.setChance(Fault::CardReset, 1e-5 * k);
    plan.setChance(Fault::PortGone, 1e-5 * k);
}

// The card in the reader: the demo card, or by SOAK_CARD an inverse one
// ("inverse") or one that moves its data a byte at a time with a NULL byte
// before each answer ("bytewise").
sim::CardDescription soakCard()
{
    const char* kind = std::getenv("SOAK_CARD");
    const std::string card = kind ? kind : "demo";
    if (card == "inverse")
        return test::makeCard(test::CardOptions{.inverse = true});
    sim::CardDescription demo = sim::demoCard();
    if (card == "bytewise") {
        demo.byteAtATime = true;
        demo.nullBytes = 1;
    }
    return demo;
}

// "1–4, 7, 9" -> {1, 2, 3, 4, 7, 9}; "ei yhtään" -> {}. False for a list cut short ("...").
bool parseRecordList(const std::string& text, std::set<int>& numbers)
{
    if (text == "ei yhtään")
        return true;
    std::istringstream parts(text);
    std::string part;
    const std::string dash = "–";
    while (std::getline(parts, part, ',')) {
        if (!part.empty() && part[0] == ' ')
            part.erase(0, 1);
        if (part == "...")
            return false;
        const std::size_t d = part.find(dash);
        char* end = nullptr;
        const long first = std::strtol(part.c_str(), &end, 10);
        const long last = d == std::string::npos ? first : std::strtol(part.c_str() + d + dash.size(), &end, 10);
        if (first <= 0 || last < first)
            return false;
        for (long n = first; n <= last; ++n)
            numbers.insert(int(n));
    }
    return true;
}

// The record list that follows label in a message, up to its full stop.
bool listAfter(const std::string& message, const std::string& label, std::set<int>& numbers)
{
    const std::size_t at = message.find(label);
    if (at == std::string::npos)
        return true;  // not named: none
    const std::size_t from = at + label.size();
    const std::size_t end = std::min(message.find(".\n", from), message.find(" (", from));
    return parseRecordList(message.substr(from, end == std::string::npos ? std::string::npos : end - from), numbers);
}

struct KindCounts {
    int transfers = 0;  // transfers the fault struck
    int failed = 0;     // of them: ended with a message
};

class Soak {
public:
    Soak(std::uint64_t seed, int show) : m_seed(seed), m_show(show), m_plan(seed), m_dice{seed ^ 0x5EEDull}
    {
        setChances(m_plan);
        m_plan.arm(false);
        fx.port.setFaultPlan(&m_plan);
        m_file = (std::filesystem::temp_directory_path() /
                  ("puolukka_soak_" + std::to_string(::getpid()) + ".phb")).string();
        m_emptyEntry = RecordToEntry(std::string(kRecLen, '\xFF') + kOk);
    }
    ~Soak() { std::filesystem::remove(m_file); }

    void run(int transfers);
    void print(double wallSeconds) const;
    int lost() const { return m_lost; }

private:
    struct Before {
        std::vector<std::string> card;  // element 0 unused
        Phonebook book;
    };

    std::vector<std::string> cardRecords();
    void edit();
    void transfer(int number);
    void checkRead(const Before& before, bool done);
    void checkWrite(const Before& before, bool done, const std::string& failure);
    void checkFile();
    void checkBackups(const Before& before);
    void betweenTransfers();
    void tick(int times);
    void problem(const std::string& what);
    void showTransfer() const;
    std::string randomEntry();

    test::CardFixture fx{soakCard()};
    std::uint64_t m_seed;
    int m_show;
    sim::FaultPlan m_plan;
    Dice m_dice;
    std::string m_file;
    std::string m_emptyEntry;

    int m_number = 0;
    bool m_writing = false;
    int m_reads = 0, m_writes = 0, m_failures = 0, m_lost = 0, m_pinLost = 0;
    int m_reopened = 0, m_pushedBack = 0, m_unprovoked = 0;
    int m_unsureOld = 0, m_unsureNew = 0, m_unsureOther = 0;  // records a stopped write named unsure, as found
    bool m_verbose = std::getenv("SOAK_VERBOSE") != nullptr;
    KindCounts m_kinds[sim::kFaultKinds];
};

std::vector<std::string> Soak::cardRecords()
{
    std::vector<std::string> records(1);
    for (int i = 1;; ++i) {
        std::string r = fx.card().recordOf(kAdn, i);
        if (r.empty())
            return records;
        records.push_back(std::move(r));
    }
}

std::string Soak::randomEntry()
{
    static const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .-";
    std::string name;
    for (int n = m_dice(1, kRecLen - kAdnFixedBytes); n > 0; --n)
        name += letters[std::size_t(m_dice(0, int(letters.size()) - 2))];  // no "-" first: any will do
    std::string number;
    for (int n = m_dice(1, kAdnMaxDigits); n > 0; --n)
        number += char('0' + m_dice(0, 9));
    return m_dice(0, 1) ? name + "/81/" + number : name + "/91/+" + number;
}

// What the user changes before a write: a few entries, now and then all of them.
void Soak::edit()
{
    Phonebook& book = fx.app.phonebook;
    if (m_dice(0, 9) == 0) {
        for (int i = 1; i <= book.PBCount; ++i)
            book.PBEntry[std::size_t(i)] = randomEntry();
        return;
    }
    for (int n = m_dice(0, 6); n > 0; --n) {
        const int i = m_dice(1, book.PBCount);
        book.PBEntry[std::size_t(i)] = m_dice(0, 3) == 0 ? m_emptyEntry : randomEntry();
    }
}

void Soak::problem(const std::string& what)
{
    ++m_lost;
    std::fprintf(stderr, "seed %llu transfer %d (%s): %s\n", (unsigned long long)m_seed, m_number,
                 m_writing ? "write" : "read", what.c_str());
}

void Soak::showTransfer() const
{
    std::printf("---- transfer %d (%s)\n", m_number, m_writing ? "write" : "read");
    for (const auto& box : fx.screen.transcript)
        std::printf("[%s] %s\n", box.kind.c_str(), box.text.c_str());
    std::printf("[term] %s\n", fx.screen.term.c_str());
    // What the card saw since the transfer before this one ended.
    for (const sim::TraceEntry& t : fx.port.trace())
        std::printf("[card] %s %s -> %s %s\n",
                    t.kind == sim::TraceEntry::Kind::Atr       ? "ATR"
                    : t.kind == sim::TraceEntry::Kind::Command ? "command"
                                                               : "ignored",
                    sim::toHex(t.command).c_str(), sim::toHex(t.answer).c_str(), t.note.c_str());
    std::printf("----\n");
}

void Soak::tick(int times)
{
    for (int i = 0; i < times; ++i) {
        fx.clock.sleepMs(fx.port.interval());
        pollPort(fx.app);
    }
}

void Soak::betweenTransfers()
{
    tick(3);
    if (!fx.port.cardInserted()) {
        fx.port.insertCard();
        ++m_pushedBack;
        tick(3);
    }
    if (!fx.port.portOpen()) {
        // The user plugs the adapter back in and presses OK in the port settings,
        // again after a second while the system has not found it yet. The dialog
        // leaves the card to be reset by the next card operation, as the program
        // does when it opens a dropped port itself before an operation.
        while (!fx.port.setPortOpen(true))
            fx.clock.sleepMs(1000);
        fx.port.setRThreshold(1);
        fx.port.setSThreshold(1);
        fx.port.setInputLen(0);
        fx.app.card.CardReady = 0;
        ++m_reopened;
        tick(3);
    }
}

void Soak::checkFile()
{
    Phonebook& book = fx.app.phonebook;
    const Phonebook kept = book;
    std::string expected;
    for (int i = 1; i <= book.PBCount; ++i)
        expected += book.PBEntry[std::size_t(i)] + "\r\n";
    fx.screen.fileAnswers.push_back(FileChoice{false, m_file, "soak.phb"});
    SavePB_Click(fx.app);
    std::ostringstream saved;
    saved << std::ifstream(m_file, std::ios::binary).rdbuf();
    if (saved.str() != expected)
        problem("the saved file is not the phonebook in memory");
    fx.screen.fileAnswers.push_back(FileChoice{false, m_file, "soak.phb"});
    avaa(fx.app);
    if (book.PBCount != kept.PBCount || book.PBEntry != kept.PBEntry) {
        problem("opening the saved file gave other entries");
        book = kept;
    }
    fx.screen.fileAnswers.clear();
}

// Every write that may change the card saved what the card held before it
// (the records the program knew or read first) as a phonebook file. The
// backups are checked and removed: a soak makes more of them in a second of
// wall time than the 99 one name allows.
void Soak::checkBackups(const Before& before)
{
    std::string expected;
    for (std::size_t i = 1; i < before.card.size(); ++i)
        expected += RecordToEntry(before.card[i] + kOk) + "\r\n";
    int found = 0;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(backupFolder(), error)) {
        std::ostringstream text;
        text << std::ifstream(file.path(), std::ios::binary).rdbuf();
        if (text.str() != expected)
            problem("the backup " + file.path().filename().string() + " is not what the card held");
        std::filesystem::remove(file.path());
        ++found;
    }
    if (cardRecords() != before.card && found == 0)
        problem("the card changed without a backup");
}

void Soak::checkRead(const Before& before, bool done)
{
    const Phonebook& book = fx.app.phonebook;
    if (cardRecords() != before.card)
        problem("a read changed the card");
    if (!done) {
        if (book.PBCount != before.book.PBCount || book.PBEntry != before.book.PBEntry)
            problem("a failed read changed the phonebook in memory");
        return;
    }
    const std::size_t n = before.card.size() - 1;
    if (book.PBCount != int(n) || book.PBEntry.size() != n + 1) {
        problem("a read gave " + std::to_string(book.PBCount) + " entries");
        return;
    }
    for (std::size_t i = 1; i <= n; ++i)
        if (book.PBEntry[i] != RecordToEntry(before.card[i] + kOk))
            problem("record " + std::to_string(i) + " was read other than the card holds it");
}

void Soak::checkWrite(const Before& before, bool done, const std::string& failure)
{
    const Phonebook& book = fx.app.phonebook;
    if (book.PBCount != before.book.PBCount || book.PBEntry != before.book.PBEntry)
        problem("a write changed the phonebook in memory");
    // What the card should hold once every changed entry is written.
    std::vector<std::string> planned = before.card;
    const int covered = std::min<int>(before.book.PBCount, int(planned.size()) - 1);
    for (int i = 1; i <= covered; ++i) {
        const std::string& entry = before.book.PBEntry[std::size_t(i)];
        if (RecordToEntry(planned[std::size_t(i)] + kOk) != entry) {
            int warning = 0;
            planned[std::size_t(i)] = EntryToRecord(entry, kRecLen, warning);
        }
    }
    const std::vector<std::string> now = cardRecords();
    if (done) {
        for (std::size_t i = 1; i < now.size(); ++i)
            if (now[i] != planned[i])
                problem("record " + std::to_string(i) + " is not as written after \" Done\"");
        return;
    }
    std::set<int> written, unsure;
    if (!listAfter(failure, "Kirjoitetut muistipaikat: ", written) ||
        !listAfter(failure, "Kesken jäi: ", unsure)) {
        problem("the message's record lists are cut short: " + failure);
        return;
    }
    for (std::size_t i = 1; i < now.size(); ++i) {
        const int n = int(i);
        const bool old = now[i] == before.card[i], isNew = now[i] == planned[i];
        if (unsure.count(n))
            ++(old ? m_unsureOld : isNew ? m_unsureNew : m_unsureOther);
        if (written.count(n) && !isNew)
            problem("record " + std::to_string(n) + " is named written but does not hold its new content");
        else if (!old && !written.count(n) && !unsure.count(n))
            problem("record " + std::to_string(n) + (isNew ? " was written" : " changed")
                    + " but the message does not say so: " + failure);
    }
}

void Soak::transfer(int number)
{
    m_number = number;
    Phonebook& book = fx.app.phonebook;
    m_writing = book.PBCount > 0 && m_dice(0, 9) < 6;
    if (m_writing)
        edit();
    const Before before{cardRecords(), book};
    fx.screen.clearTranscript();
    fx.screen.setTermText("");
    fx.screen.inputAnswers = {"1234", "1234", "1234"};
    int struckBefore[sim::kFaultKinds];
    for (int k = 0; k < sim::kFaultKinds; ++k)
        struckBefore[k] = m_plan.injected(Fault(k));

    m_plan.arm(true);
    m_writing ? WritePB_Click(fx.app) : PhnBook_Click(fx.app);
    m_plan.arm(false);
    ++(m_writing ? m_writes : m_reads);
    if (number == m_show)
        showTransfer();

    // How it ended: " Done" in the terminal, or a write with nothing to write; else the message that says why.
    bool done = fx.screen.term.find(" Done : ") != std::string::npos;
    std::string failure;
    for (const auto& box : fx.screen.transcript) {
        if (box.kind != "message" || box.buttons == Buttons::YesNo)
            continue;  // the questions before a transfer, answered Yes
        if (box.text.starts_with("Kortilla on jo tämä luettelo"))
            done = true;
        else
            failure += box.text + "\n";
    }
    if (!done && failure.empty())
        problem("the transfer ended without \" Done\" and without a message");
    std::string struck;
    for (int k = 0; k < sim::kFaultKinds; ++k)
        if (m_plan.injected(Fault(k)) != struckBefore[k]) {
            struck += std::string(struck.empty() ? "" : ", ") + std::string(sim::faultName(Fault(k)));
            ++m_kinds[k].transfers;
            m_kinds[k].failed += !done;
        }
    if (!done) {
        ++m_failures;
        m_unprovoked += struck.empty();
        if (m_verbose)
            std::fprintf(stderr, "seed %llu transfer %d (%s) failed [%s]: %s\n", (unsigned long long)m_seed, number,
                         m_writing ? "write" : "read", struck.empty() ? "no fault" : struck.c_str(),
                         failure.substr(0, failure.find('\n')).c_str());
    }

    m_writing ? checkWrite(before, done, failure) : checkRead(before, done);
    checkBackups(before);
    if (fx.card().description().chv1.attemptsLeft != 3) {
        ++m_pinLost;
        problem("the card counted a wrong PIN1 (" + std::to_string(fx.card().description().chv1.attemptsLeft)
                + " attempts left)");
        fx.card().description().chv1.attemptsLeft = 3;
    }
    fx.screen.inputAnswers.clear();
    fx.port.clearTrace();
    betweenTransfers();
    if (done)
        checkFile();
}

void Soak::run(int transfers)
{
    for (int i = 1; i <= transfers; ++i)
        transfer(i);
}

void Soak::print(double wallSeconds) const
{
    const char* card = std::getenv("SOAK_CARD");
    std::printf("seed %llu: %d reads, %d writes; %s card, 100 records of %d bytes, 9600 baud; "
                "virtual %.0f s, wall %.2f s\n",
                (unsigned long long)m_seed, m_reads, m_writes, card ? card : "demo", kRecLen,
                double(fx.clock.nowUs()) / 1e6, wallSeconds);
    for (int k = 0; k < sim::kFaultKinds; ++k)
        std::printf("%-16s injected %5d  in %5d transfers  failed with a message %5d  succeeded %5d\n",
                    std::string(sim::faultName(Fault(k))).c_str(), m_plan.injected(Fault(k)), m_kinds[k].transfers,
                    m_kinds[k].failed, m_kinds[k].transfers - m_kinds[k].failed);
    std::printf("user: card pushed back %d times, port opened again %d times; PIN1 attempts lost %d; "
                "failures in transfers no fault struck %d\n",
                m_pushedBack, m_reopened, m_pinLost, m_unprovoked);
    std::printf("records a stopped write named unsure: %d held their old content, %d the new, %d other bytes\n",
                m_unsureOld, m_unsureNew, m_unsureOther);
    std::printf("transfers %d faults %d failures %d lost %d\n", m_reads + m_writes, m_plan.injectedTotal(),
                m_failures, m_lost);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1;
    const int transfers = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int show = argc > 3 ? std::atoi(argv[3]) : 0;
    const auto start = std::chrono::steady_clock::now();
    Soak soak(seed, show);
    soak.run(transfers);
    soak.print(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return soak.lost() == 0 ? 0 : 1;
}
