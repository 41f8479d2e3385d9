// Phonebook transfer timing on the virtual card: 250 records of 28 bytes at
// 9600 baud, virtual clock. For the read and the write record loops it prints
// the virtual time taken, the line-time limit (every character on the line,
// echo and answer, at 12 bit times) and their ratio, for the T=0 receive the
// program uses and for the fixed waits of the first design (100 ms per READ
// RECORD, 50 + 80 ms per UPDATE RECORD); each write reads every record back
// (READ RECORD) to verify it, in both designs. Then the user's most common job
// on that card: read it, edit one entry, write back (backup, question, one
// UPDATE RECORD and its verify), printed as "edit-one write S s" for the
// write; and how long phonebook files take to open (wall time): the largest
// accepted one, and a 15 MB file of short lines that is refused. Then the
// whole read and the whole write as a user runs them on a card just put in the
// reader, from the menu command to " Done" (reset, PIN1, selections, GET
// RESPONSE, the records; the write reads the card first and verifies what it
// writes), against the line time of every character of them (answers-to-reset
// and NULL bytes included). The record loops and the whole operations are
// measured on a prompt card and on one that sends a NULL byte before each
// answer. The last two lines are "whole read R write W" and "ratio read R
// write W" (the program's own record loops), each the worse of the two cards.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "card_fixture.cpp"
#include "scripted_screen.cpp"

#include "conversions/adn_codec.h"
#include "conversions/conversions.h"
#include "filesystem/selection.h"
#include "link/reset.h"
#include "phonebook/card_transfer.h"
#include "phonebook/phonebook_file.h"
#include "phonebook/record_loops.h"

namespace {

using namespace puolukka;
using test::CardFixture;
using test::CardOptions;

constexpr int kRecords = 250;
constexpr int kRecordLength = 28;
const std::string kRecLenText = "1C";

CardOptions benchCard()
{
    CardOptions o;
    o.pin1Enabled = false;
    o.adnRecordLength = kRecordLength;
    o.adnRecordCount = kRecords;
    return o;
}

// The bench card with PIN1 as asked and NULL bytes before each answer.
sim::CardDescription benchCard(bool pin1, int nullBytes)
{
    CardOptions o = benchCard();
    o.pin1Enabled = pin1;
    sim::CardDescription card = test::makeCard(o);
    card.nullBytes = nullBytes;
    return card;
}

// Characters on the line for the card's trace since it was cleared: each
// command's bytes come back as echo, then the card's answer (NULL bytes
// included); and the answers-to-reset.
long long lineCharacters(const CardFixture& fx)
{
    long long n = 0;
    for (const auto& t : fx.port.trace())
        if (t.kind != sim::TraceEntry::Kind::Ignored)
            n += (long long)(t.command.size() + t.answer.size());
    return n;
}

struct Measure {
    double seconds = 0;
    double limitSeconds = 0;
    double ratio() const { return limitSeconds > 0 ? seconds / limitSeconds : 0; }
};

Measure measure(CardFixture& fx, std::int64_t startUs)
{
    Measure m;
    m.seconds = double(fx.clock.nowUs() - startUs) / 1e6;
    m.limitSeconds = double(lineCharacters(fx)) * double(fx.port.characterTimeUs()) / 1e6;
    return m;
}

void prepare(CardFixture& fx)
{
    resetointi(fx.app);
    SelDF_TELECOM(fx.app);
    SelCmd(fx.app, "6F3A", "ADN");
    fx.port.clearTrace();
}

// The first design's loops: write, sleep a fixed time, take what has arrived.
void fixedWaitExchange(CardFixture& fx, const std::string& bytes, int waitMs)
{
    fx.port.output(bytes);
    fx.clock.sleepMs(waitMs);
    while (fx.port.inBufferCount() > 0)
        fx.port.input();
}

std::string readHeader(int i) { return HexToBytes("A0B2" + hexByte(i) + "04" + kRecLenText); }
std::string updateHeader(int i) { return HexToBytes("A0DC" + hexByte(i) + "04" + kRecLenText); }

std::vector<std::string> benchRecords()
{
    std::vector<std::string> records(1);
    int warning = 1;
    for (int i = 1; i <= kRecords; ++i)
        records.push_back(EntryToRecord("Nimi " + std::to_string(i) + "/81/0401234" + std::to_string(i),
                                        kRecordLength, warning));
    return records;
}

void print(const std::string& what, const Measure& m)
{
    std::printf("%-40s virtual %8.3f s  line-time limit %8.3f s  ratio %.3f\n", what.c_str(), m.seconds,
                m.limitSeconds, m.ratio());
}

struct Loops {
    Measure read, write;
};

// The program's own record loops on a card ready for them; the write verifies each record.
Loops programLoops(const std::vector<std::string>& records, int nullBytes)
{
    Loops m;
    CardFixture fx(benchCard(false, nullBytes));
    prepare(fx);
    std::vector<std::string> entries;
    std::int64_t start = fx.clock.nowUs();
    if (readAdnRecords(fx.app, kRecords, kRecLenText, entries).outcome != LoopOutcome::Done)
        std::printf("read loop did not finish\n");
    m.read = measure(fx, start);

    fx.port.clearTrace();
    start = fx.clock.nowUs();
    std::vector<int> all;
    for (int i = 1; i <= kRecords; ++i)
        all.push_back(i);
    if (writeAdnRecords(fx.app, records, all, kRecLenText).outcome != LoopOutcome::Done)
        std::printf("write loop did not finish\n");
    m.write = measure(fx, start);
    int wrong = 0;
    for (int i = 1; i <= kRecords; ++i)
        wrong += fx.adnRecord(i) != records[std::size_t(i)];
    if (wrong != 0)
        std::printf("%d records differ after the write\n", wrong);
    return m;
}

// The read and the write as a user runs them, each on a card just put in the
// reader (reset and PIN1 included); the write writes back what was read with
// every entry changed.
Loops wholeOperations(int nullBytes)
{
    Loops m;
    Phonebook book;
    {
        CardFixture fx(benchCard(true, nullBytes));
        fx.screen.inputAnswers = {"1234"};
        const std::int64_t start = fx.clock.nowUs();
        PhnBook_Click(fx.app);
        m.read = measure(fx, start);
        if (fx.app.phonebook.PBCount != kRecords)
            std::printf("the whole read gave %d entries\n", fx.app.phonebook.PBCount);
        book = fx.app.phonebook;
    }
    for (int i = 1; i <= book.PBCount; ++i)
        book.PBEntry[std::size_t(i)] = "Uusi " + std::to_string(i) + "/81/040765" + std::to_string(i);
    {
        CardFixture fx(benchCard(true, nullBytes));
        fx.screen.inputAnswers = {"1234"};
        fx.app.phonebook = book;
        const std::int64_t start = fx.clock.nowUs();
        WritePB_Click(fx.app);
        m.write = measure(fx, start);
        int warning = 0, wrong = 0;
        for (int i = 1; i <= kRecords; ++i)
            wrong += fx.adnRecord(i) != EntryToRecord(book.PBEntry[std::size_t(i)], kRecordLength, warning);
        if (wrong != 0)
            std::printf("the whole write left %d records other than written\n", wrong);
    }
    return m;
}

double wallSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "Avaa luettelo" of a file written here: wall seconds, and the entries it gave.
std::pair<double, int> openFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
    CardFixture fx(benchCard());
    fx.screen.fileAnswers.push_back(FileChoice{false, path.string(), path.filename().string()});
    const auto start = std::chrono::steady_clock::now();
    avaa(fx.app);
    const double seconds = wallSince(start);
    std::filesystem::remove(path);
    return {seconds, fx.app.phonebook.PBCount};
}

void openFiles()
{
    const auto folder = std::filesystem::temp_directory_path();
    std::string largest;
    for (std::size_t i = 1; i <= kMaxFileEntries; ++i)
        largest += "Nimi " + std::to_string(i) + "/91/+35840" + std::to_string(1000000 + i) + "\r\n";
    std::string shortLines;
    for (int i = 0; i < 7'800'000; ++i)
        shortLines += "1\n";
    const auto [acceptedSeconds, accepted] = openFile(folder / "puolukka_bench_largest.phb", largest);
    const auto [refusedSeconds, refused] = openFile(folder / "puolukka_bench_lines.phb", shortLines);
    std::printf("file open: %d entries %.3f s; %.1f MB of 7800000 short lines refused (%d entries) %.3f s (wall)\n",
                accepted, acceptedSeconds, double(shortLines.size()) / 1e6, refused, refusedSeconds);
}

// Read the card, edit one entry, write back: the write with its backup, one
// UPDATE RECORD and the READ RECORD that verifies it.
void editOne()
{
    CardFixture fx(benchCard());
    PhnBook_Click(fx.app);
    fx.app.phonebook.PBEntry[7] = "Muokattu/81/0409876543";
    fx.port.clearTrace();
    const std::int64_t start = fx.clock.nowUs();
    WritePB_Click(fx.app);  // the scripted screen answers Yes to the question
    const double seconds = double(fx.clock.nowUs() - start) / 1e6;
    int updates = 0, reads = 0;
    for (const auto& t : fx.port.trace()) {
        if (t.kind != sim::TraceEntry::Kind::Command || t.command.size() < 2)
            continue;
        updates += (unsigned char)t.command[1] == 0xDC;
        reads += (unsigned char)t.command[1] == 0xB2;
    }
    int warning = 0;
    if (updates != 1 || reads != 1 || fx.adnRecord(7) != EntryToRecord("Muokattu/81/0409876543", kRecordLength, warning))
        std::printf("edit-one: %d UPDATE RECORD, %d READ RECORD, record 7 %s\n", updates, reads,
                    fx.adnRecord(7) == EntryToRecord("Muokattu/81/0409876543", kRecordLength, warning) ? "right" : "wrong");
    std::printf("edit-one write %.3f s\n", seconds);
}

}  // namespace

int main()
{
    const std::vector<std::string> records = benchRecords();

    Measure readFixed, writeFixed;
    Loops loops[2], whole[2];
    for (int nulls : {0, 1}) {
        loops[nulls] = programLoops(records, nulls);
        whole[nulls] = wholeOperations(nulls);
    }
    const Measure readT0 = loops[0].read, writeT0 = loops[0].write;
    {
        CardFixture fx(benchCard());
        prepare(fx);
        std::int64_t start = fx.clock.nowUs();
        for (int i = 1; i <= kRecords; ++i)
            fixedWaitExchange(fx, readHeader(i), 100);
        readFixed = measure(fx, start);

        fx.port.clearTrace();
        start = fx.clock.nowUs();
        for (int i = 1; i <= kRecords; ++i) {
            fixedWaitExchange(fx, updateHeader(i), 50);
            fixedWaitExchange(fx, records[std::size_t(i)], 80);
            fixedWaitExchange(fx, readHeader(i), 100);
        }
        writeFixed = measure(fx, start);
    }

    std::printf("%d records of %d bytes, 9600 baud, virtual clock\n", kRecords, kRecordLength);
    print("read, T=0 receive", readT0);
    print("read, fixed 100 ms", readFixed);
    print("write, T=0 receive", writeT0);
    print("write, fixed 50+80+100 ms", writeFixed);

    {
        CardFixture fx(benchCard());
        const auto wallStart = std::chrono::steady_clock::now();
        const std::int64_t start = fx.clock.nowUs();
        PhnBook_Click(fx.app);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        std::printf("whole read (PhnBook_Click, %d entries): virtual %.3f s, wall %.3f s\n",
                    fx.app.phonebook.PBCount, double(fx.clock.nowUs() - start) / 1e6, wall);
    }
    openFiles();
    editOne();
    const char* cards[] = {"prompt card", "NULL byte before each answer"};
    for (int nulls : {0, 1}) {
        print(std::string("read loop, ") + cards[nulls], loops[nulls].read);
        print(std::string("write loop, ") + cards[nulls], loops[nulls].write);
        print(std::string("whole read, ") + cards[nulls], whole[nulls].read);
        print(std::string("whole write, ") + cards[nulls], whole[nulls].write);
    }
    auto worse = [](const Measure& a, const Measure& b) { return std::max(a.ratio(), b.ratio()); };
    std::printf("whole read %.2f write %.2f\n", worse(whole[0].read, whole[1].read),
                worse(whole[0].write, whole[1].write));
    std::printf("ratio read %.2f write %.2f\n", worse(loops[0].read, loops[1].read),
                worse(loops[0].write, loops[1].write));
    return 0;
}
