#include "sim/apdu_card.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <unistd.h>

#include "sim/vpcd_card.h"
#include "t0_driver.h"

namespace puolukka::test {
namespace {

std::string apdu(sim::ApduCard& card, const std::string& hexText)
{
    return hex(card.transmit(bytesOf(hexText)));
}

// The demo card through its APDU front: each command APDU and the response it must give.
TEST(ApduCard, CommandsOfEveryCaseReachTheCardAndAnswerWhole)
{
    sim::SimCard card(sim::demoCard());
    sim::ApduCard front(card);
    const std::string adnRecord1 = hex(card.recordOf(0x6F3A, 1));
    const std::pair<std::string, std::string> steps[] = {
        {"A0A4000002", "6F00"},  // Le for a command that takes data: the card is restarted
        {"A0A40000023F00", "9F16"},                            // case 3
        {"A0C0000016", hex(card.directoryDescription(0)) + "9000"},  // case 2
        {"A0C0000020", "6716"},                                // wrong length: the status word alone
        {"A0B201041C", "9400"},                                // refused after the header: no data taken
        {"A0A40000027F10", "9F16"},
        {"A0A40000026F3A9F", "9F0F"},                          // case 4: Le left to GET RESPONSE
        {"A0B201041C", "9804"},                                // PIN1 not given
        {"A02000010831323334FFFFFFFF", "9000"},
        {"A0B201041C", adnRecord1 + "9000"},
        {std::string("A0DC01041B").append(54, 'F'), "671C"},         // refused header: the data never reach it
        {"A0F2000016", "*"},                                   // so the next command is understood
        {std::string("A0DC01041C").append(56, 'F'), "9000"},
        {"A0B201041C", std::string(56, 'F').append("9000")},
        {"A0040000", "6D00"},                                  // case 1: an instruction it lacks
        {"A0A400", "6700"},                                    // malformed APDUs never reach the card
        {"A0A40000033F00", "6700"},
    };
    for (const auto& [command, response] : steps) {
        const std::string got = apdu(front, command);
        if (response != "*") {
            EXPECT_EQ(got, response) << command;
        }
        EXPECT_FALSE(card.commandPending()) << command;
    }
    EXPECT_EQ(card.recordOf(0x6F3A, 1), std::string(28, '\xFF'));
}

// The reader's part of T=0: NULL bytes (60) and one byte at a time (the complement of INS).
TEST(ApduCard, NullBytesAndOneByteProcedureBytesAreFollowed)
{
    std::deque<std::string> script;
    std::string heard;
    sim::ApduCard front([&](std::uint8_t b) {
        heard.push_back(char(b));
        if (heard.size() < 5 || script.empty())
            return std::string();
        std::string next = script.front();
        script.pop_front();
        return next;
    });
    // Data to the card: 60, ~INS, a byte, 60, INS, the rest, then the status word.
    script = {bytesOf("605B"), bytesOf("60A4"), std::string(), bytesOf("60609000")};
    EXPECT_EQ(apdu(front, "A0A4000003 3F0011"), "9000");
    EXPECT_EQ(hex(heard), "A0A40000033F0011");
    // Data from the card: one byte after ~INS, the rest after INS, NULL bytes between.
    heard.clear();
    script = {bytesOf("604D11" "60B2223344" "6090" "00")};
    EXPECT_EQ(apdu(front, "A0B2010404"), "112233449000");
    // A byte that is no procedure byte, or a card that falls silent: 6F 00.
    heard.clear();
    script = {bytesOf("42")};
    EXPECT_EQ(apdu(front, "A0B2010404"), "6F00");
    heard.clear();
    script = {};
    EXPECT_EQ(apdu(front, "A0B2010404"), "6F00");
}

TEST(VpcdCard, ControlsAndCommandsAndTheCardFile)
{
    const std::string path =
        (std::filesystem::path(::testing::TempDir()) / ("vpcd_card_" + std::to_string(::getpid()) + ".json")).string();
    std::filesystem::remove(path);
    sim::VpcdCard vpcd(sim::demoCard(), path);
    EXPECT_EQ(hex(vpcd.answer(bytesOf("04"))), "3B1611800147534D31");  // the answer to reset
    EXPECT_EQ(vpcd.answer(bytesOf("01")), "");                         // power on: no answer
    EXPECT_EQ(hex(vpcd.answer(bytesOf("A02000010831323334FFFFFFFF"))), "9000");
    EXPECT_TRUE(vpcd.withCard([](sim::SimCard& c) { return c.chv1Verified(); }));
    EXPECT_EQ(vpcd.answer(bytesOf("02")), "");  // a reset: the card forgets the code
    EXPECT_FALSE(vpcd.withCard([](sim::SimCard& c) { return c.chv1Verified(); }));
    EXPECT_EQ(vpcd.resets(), 2);
    EXPECT_EQ(vpcd.answer(bytesOf("00")), "");
    EXPECT_EQ(vpcd.commandsAnswered(), 1);
    // A change is written to the card file at once.
    vpcd.answer(bytesOf("A02000010831323334FFFFFFFF"));
    vpcd.answer(bytesOf("A0A40000027F10"));
    vpcd.answer(bytesOf("A0A40000026F3A"));
    EXPECT_EQ(hex(vpcd.answer(bytesOf(std::string("A0DC01041C").append(56, '0')))), "9000");
    sim::CardDescription saved;
    std::string error;
    ASSERT_TRUE(sim::loadCardFile(path, &saved, &error)) << error;
    EXPECT_EQ(saved.files[std::size_t(saved.findPath("7F10/6F3A"))].data.substr(0, 28), std::string(28, '\0'));
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace puolukka::test
