#include "link/t0_exchange.h"

#include <gtest/gtest.h>

#include "card_fixture.h"
#include "conversions/conversions.h"
#include "scripted_port.h"
#include "sim/fault_plan.h"

namespace puolukka {
namespace {

using test::ScriptedPort;
using Until = T0Expect::Until;
using Pieces = std::vector<ScriptedPort::Piece>;

std::string bytes(const std::string& hex) { return HexToBytes(hex); }

TEST(T0Parse, FollowsTheProcedureBytes)
{
    struct Row {
        const char* name;
        std::string received;  // hex, echo first
        T0Expect expect;
        bool done;
        T0Status status;
        std::string data, status2;  // hex
        int procedure, nulls;
    };
    const T0Expect read{5, Until::DataAndStatus, 0xB2, 3}, update{5, Until::Procedure, 0xDC, 0};
    const Row rows[] = {
        {"whole answer", "A0B2010403" "B2" "414243" "9000", read, true, T0Status::Complete, "414243", "9000", 0xB2, 0},
        {"NULL bytes before and a 60 inside the data", "A0B2010403" "6060" "B2" "416043" "6060" "9000", read, true,
         T0Status::Complete, "416043", "9000", 0xB2, 4},
        {"one byte at a time", "A0B2010403" "4D41" "4D42" "60" "4D43" "9000", read, true, T0Status::Complete, "414243",
         "9000", 0x4D, 1},
        {"a stray byte is skipped", "A0B2010403" "00" "B2" "414243" "9000", read, true, T0Status::Complete, "414243",
         "9000", 0xB2, 0},
        {"status word for the procedure byte", "A0B2010403" "9402", read, true, T0Status::StatusWord, "", "9402",
         -1, 0},
        {"status word after part of the data", "A0B2010403" "4D41" "6F00", read, true, T0Status::Incomplete, "41",
         "6F00", 0x4D, 0},
        {"data still on its way", "A0B2010403" "B2" "41", read, false, T0Status::Incomplete, "41", "", 0xB2, 0},
        {"echo still on its way", "A0B201", read, false, T0Status::Incomplete, "", "", -1, 0},
        {"procedure byte asks for all data", "A0DC01041C" "60" "DC", update, true, T0Status::Complete, "", "", 0xDC, 1},
        {"complement asks for one byte", "A0DC01041C" "23", update, true, T0Status::Complete, "", "", 0x23, 0},
        {"access refused", "A0DC01041C" "9804", update, true, T0Status::StatusWord, "", "9804", -1, 0},
        {"echo alone", "3132", {2, Until::Echo}, true, T0Status::Complete, "", "", -1, 0},
        {"status word after the data", "3132" "60" "9000", {2, Until::StatusWord, 0x20}, true, T0Status::Complete, "",
         "9000", -1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const T0Progress p = parseT0(bytes(row.received), row.expect);
        EXPECT_EQ(p.done, row.done);
        EXPECT_EQ(row.done ? p.status : row.status, row.status);
        EXPECT_EQ(bytesToHex(p.data), row.data);
        EXPECT_EQ(bytesToHex(p.status2), row.status2);
        EXPECT_EQ(p.procedure, row.procedure);
        EXPECT_EQ(p.nulls, row.nulls);
    }
}

struct Rig {
    Rig() { port.setCommPort(1), port.setPortOpen(true), port.echo = true; }
    T0Line line() { return T0Line{&port, &clock, inverse, 1'000'000}; }
    VirtualClock clock;
    ScriptedPort port{clock};
    bool inverse = false;
};

// A whole command: the header, then the data as the card asks for them.
TEST(T0Command, FollowsTheCardAndReturnsAsSoonAsTheCommandIsOver)
{
    struct Row {
        const char* name;
        std::string header;
        std::vector<Pieces> replies;  // one per write, timed from the write in ms
        std::vector<std::string> data;
        std::vector<std::string> writes;  // hex
        T0Status status;
        std::string line, status2;  // hex: of the header's answer, then of the data's
        std::int64_t minUs, maxUs;
        bool inverse = false;
    };
    const Row rows[] = {
        {"prompt read", "A0B2010403", {{{1, bytes("B2414243" "9000")}}}, {}, {"A0B2010403"}, T0Status::Complete,
         "A0B2010403B24142439000", "9000", 1000, 2000},
        // Each NULL byte gives the card the whole waiting time again.
        {"NULL bytes keep a slow card alive", "A0B2010403",
         {{{900, bytes("60")}, {1800, bytes("60")}, {2700, bytes("B2414243" "9000")}}}, {}, {"A0B2010403"},
         T0Status::Complete, "A0B2010403B24142439000", "9000", 2'700'000, 2'701'000},
        {"one byte at a time both ways", "A0DC010403",
         {{{1, bytes("23")}}, {{1, bytes("23")}}, {{1, bytes("6023")}}, {{3, bytes("609000")}}}, {"414243"},
         {"A0DC010403", "41", "42", "43"}, T0Status::Complete, "A0DC010403DC" "4142439000", "9000", 6000, 8000},
        {"data in two parts after INS", "A02C000010", {{{1, bytes("2C")}}, {}, {{2, bytes("9000")}}},
         {"3132333435363738", "31323334FFFFFFFF"}, {"A02C000010", "3132333435363738", "31323334FFFFFFFF"},
         T0Status::Complete, "A02C0000102C" "313233343536373831323334FFFFFFFF9000", "9000", 3000, 5000},
        {"status word for the procedure byte: the data stay", "A0DC010403", {{{1, bytes("9804")}}}, {"414243"},
         {"A0DC010403"}, T0Status::StatusWord, "A0DC0104039804", "9804", 1000, 2000},
        {"a mute card ends after the waiting time", "A0A4000002", {}, {"3F00"}, {"A0A4000002"}, T0Status::Mute,
         "A0A4000002", "", 1'000'000, 1'001'000},
        {"inverse convention both ways", "A0B2010403", {{{1, inverseBytes(bytes("B2414243" "9000"))}}}, {},
         {inverseBytes(bytes("A0B2010403"))}, T0Status::Complete, "A0B2010403B24142439000", "9000", 1000, 2000, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.inverse = row.inverse;
        rig.port.echo = !row.inverse;
        if (row.inverse)  // the echo comes back as the line carried it
            rig.port.queueReply({{0, inverseBytes(bytes(row.header))}, row.replies[0][0]});
        else
            for (const Pieces& reply : row.replies)
                rig.port.queueReply(reply);
        T0Command command(rig.line());
        const T0Answer header = command.sendHeader(bytes(row.header));
        std::string line = bytesToHex(header.line);
        T0Answer last = header;
        for (const std::string& part : row.data) {
            last = command.sendData(bytes(part));
            if (last.status != T0Status::NotSent)
                line += bytesToHex(last.line);
        }
        EXPECT_EQ(last.status == T0Status::NotSent ? header.status : last.status, row.status);
        EXPECT_EQ(line, row.line);
        EXPECT_EQ(bytesToHex(last.status == T0Status::NotSent ? header.status2 : last.status2), row.status2);
        std::vector<std::string> writes;
        for (const std::string& w : rig.port.writes)
            writes.push_back(row.inverse ? w : bytesToHex(w));
        EXPECT_EQ(writes, row.writes);
        EXPECT_FALSE(command.wantsData());
        EXPECT_GE(rig.clock.nowUs(), row.minUs);
        EXPECT_LE(rig.clock.nowUs(), row.maxUs);
    }
}

TEST(T0Command, LeftoversAreDroppedAndAFailingPortFailsAtOnce)
{
    Rig late;
    late.port.deliver(bytes("9000"));  // from an earlier, broken answer
    late.port.queueReply(bytes("B2414243" "9000"), 1);
    EXPECT_EQ(bytesToHex(T0Command(late.line()).sendHeader(bytes("A0B2010403")).data), "414243");

    Rig failing, closed, silent;
    failing.port.failWrites = true;
    closed.port.setPortOpen(false);
    silent.port.echo = false;
    for (Rig* rig : {&failing, &closed}) {
        EXPECT_EQ(T0Command(rig->line()).sendHeader(bytes("A0B2010403")).status, T0Status::PortFailed);
        EXPECT_EQ(rig->clock.nowUs(), 0);
    }
    const T0Answer nothing = T0Command(silent.line()).sendHeader(bytes("A0B2010403"));
    EXPECT_TRUE(nothing.status == T0Status::NoAnswer && nothing.lineLost() && nothing.line.empty());
}

// T=0 has no check of its own: a flagged character anywhere makes LineError; a flagged echo, Mute.
TEST(T0Command, AnAnswerWithAFlaggedCharacterIsNotTrusted)
{
    struct Row {
        const char* where;
        int skip;  // characters on the line before the one hit: 5 header bytes, procedure byte, 28 data, SW
        T0Status status;
    };
    const Row rows[] = {{"nowhere", -1, T0Status::Complete},        {"the procedure byte", 5, T0Status::LineError},
                        {"a data byte", 12, T0Status::LineError},    {"SW2", 35, T0Status::LineError},
                        {"the echo: the card drops it", 2, T0Status::Mute}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        test::CardFixture fx(test::CardOptions{.pin1Enabled = false});
        const T0Line line{&fx.port, &fx.clock, false, 1'000'000};
        for (const char* id : {"7F10", "6F3A"}) {
            T0Command select(line);
            select.sendHeader(bytes("A0A4000002"));
            ASSERT_EQ(select.sendData(bytes(id)).status, T0Status::Complete);
        }
        sim::FaultPlan plan;
        plan.arm(false);
        fx.port.setFaultPlan(&plan);
        if (row.skip >= 0)
            plan.strikeNext(sim::Fault::ParityError, row.skip);
        const T0Answer read = T0Command(line).sendHeader(bytes("A0B201041C"));
        EXPECT_EQ(read.status, row.status);
    }
}

}  // namespace
}  // namespace puolukka
