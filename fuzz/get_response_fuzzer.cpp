// GET RESPONSE (GSM 11.11 9.2.1): the explorer's description window fed
// whatever the card answers, over a scripted port in virtual time, and the
// decoding alone fed any text. The input picks the file kind selected (EF, MF
// or DF), the response length the card announced, and the answer's pieces.
// Properties: the decoded sizes stay in range, the size is counted in bytes
// exactly when there is no record length, and a window that is shown has a
// size text.
#include <cstdint>
#include <string>
#include <vector>

#include "conversions/conversions.h"
#include "filesystem/explorer.h"
#include "filesystem/get_response.h"
#include "fuzz_input.h"
#include "scripted_app.h"

using namespace puolukka;

namespace {

const char* const kCurrentFiles[] = {"EF-6F3A-ADN", "MF-3F00-MF ", "DF-7F10-TELECOM"};

void checkDecoding(const std::string& description)
{
    const FileTexts t = decodeFile(description, "EF-6F3A-ADN");
    fuzz::check(t.fileSize <= 65535 && t.recordLengthValue <= 255, "sizes fit their bytes");
    fuzz::check((t.sizeUnit == "Bytes") == (t.recordLengthValue == 0), "bytes exactly when there are no records");
    (void)decodeDirectory(description);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::ScriptedApp rig;
    auto& [clock, screen, port, app] = rig;
    port.echo = true;
    app.card.ClassByte = "A0";
    app.card.ShowInTerminal = 1;
    app.card.CurrentFile = kCurrentFiles[in.number(0, 2)];
    app.card.CurrentDirectory = "DF-7F10-TELECOM";
    app.card.ResponseLength = hexByte(in.byte());

    std::vector<test::ScriptedPort::Piece> pieces;
    std::string answer;
    while (!in.empty() && pieces.size() < 8) {
        const int delayMs = in.number(0, 600);
        const std::string bytes = in.piece();
        answer += bytes;
        pieces.push_back({delayMs, bytes});
    }
    port.queueReply(pieces);
    GetResp3_Click(app);
    if (screen.visible("Gresponse"))
        fuzz::check(!screen.text("GRL2").empty() && !screen.text("GRRec").empty(), "a shown window has a size");

    checkDecoding(bytesToHex(answer));
    checkDecoding(answer);  // not even hex digits
    return 0;
}
