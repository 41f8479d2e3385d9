// Phonebook files: open -> save -> open through the program's own commands.
// Properties: a file that is refused leaves the phonebook in memory as it was;
// a file that is taken keeps every byte of it (the saved file is the opened one
// with CR LF line ends); and the saved file opens to the same phonebook.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "phonebook/phonebook_file.h"
#include "scripted_app.h"

using namespace puolukka;

namespace {

// The program with one entry in memory, so that a refused file can be seen to leave it.
struct Rig : fuzz::ScriptedApp {
    Rig()
    {
        app.phonebook.PBEntry = {"", "Muistissa/81/0401234567"};
        app.phonebook.PBCount = 1;
    }
};

FileChoice chosen(const std::filesystem::path& path)
{
    FileChoice choice;
    choice.cancelled = false;
    choice.path = path.string();
    choice.fileTitle = path.filename().string();
    return choice;
}

std::vector<std::string> entries(const Phonebook& book)
{
    return std::vector<std::string>(book.PBEntry.begin() + 1, book.PBEntry.begin() + 1 + book.PBCount);
}

// The file as the program writes it back: every line ended by CR LF. A file
// without a single CR LF has its lines ended by LF.
std::string withCrLfLines(const std::string& content)
{
    std::string out;
    if (content.find("\r\n") != std::string::npos) {
        out = content;
    } else {
        for (char c : content)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    if (!out.empty() && !out.ends_with("\r\n"))
        out += "\r\n";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path folder = fuzz::scratchFolder();
    const auto opened = folder / "opened.phb";
    const auto saved = folder / "saved.phb";
    fuzz::writeFile(opened, content);

    Rig first;
    const std::vector<std::string> before = entries(first.app.phonebook);
    first.screen.fileAnswers.push_back(chosen(opened));
    avaa(first.app);
    if (!first.screen.messageTexts().empty() && first.screen.transcript.back().icon == Icon::Exclamation) {
        fuzz::check(entries(first.app.phonebook) == before, "a refused file leaves the phonebook as it was");
        return 0;
    }
    if (first.app.phonebook.PBCount == 0) {
        fuzz::check(content.empty(), "only an empty file gives an empty phonebook");
        return 0;
    }
    fuzz::check(phonebookFileText(first.app.phonebook) == withCrLfLines(content), "opening keeps every byte");

    first.screen.fileAnswers.push_back(chosen(saved));
    first.screen.clearTranscript();
    SavePB_Click(first.app);
    fuzz::check(first.screen.messageTexts().empty(), "the save succeeds");
    fuzz::check(fuzz::readFile(saved) == phonebookFileText(first.app.phonebook), "the save writes the phonebook");

    Rig second;
    second.screen.fileAnswers.push_back(chosen(saved));
    avaa(second.app);
    fuzz::check(entries(second.app.phonebook) == entries(first.app.phonebook), "the saved file opens the same");
    return 0;
}
