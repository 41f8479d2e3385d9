// Phonebook files: open -> save -> open through the program's own commands.
// Properties: a file that is refused leaves the phonebook in memory as it was;
// a file that is taken keeps every byte of it but its line ends and the
// separators typed in numbers (blank - . ( )), and the TON's case; a save
// either writes the phonebook or is refused naming an entry whose name would
// not come back; and the saved file opens to the same phonebook. Entries that
// cannot be written to a card are listed on opening and opened anyway (the
// scripted screen answers Yes).
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

// The bytes of a text that opening and saving keep: line ends, the separators
// dropped from numbers, and the case of letters (a TON's hex digits) left out.
std::string keptBytes(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '-' || c == '.' || c == '(' || c == ')')
            continue;
        out += c >= 'a' && c <= 'z' ? char(c - 32) : c;
    }
    return out;
}

// The last box was an error (an OK box with a warning), not the question that lists entries.
bool refused(const test::ScriptedScreen& screen)
{
    return !screen.transcript.empty() && screen.transcript.back().icon == Icon::Exclamation
           && screen.transcript.back().buttons == Buttons::Ok;
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
    if (refused(first.screen)) {
        fuzz::check(entries(first.app.phonebook) == before, "a refused file leaves the phonebook as it was");
        return 0;
    }
    if (first.app.phonebook.PBCount == 0) {
        fuzz::check(content.empty(), "only an empty file gives an empty phonebook");
        return 0;
    }
    fuzz::check(keptBytes(phonebookFileText(first.app.phonebook)) == keptBytes(content), "opening keeps every byte");

    first.screen.fileAnswers.push_back(chosen(saved));
    first.screen.clearTranscript();
    SavePB_Click(first.app);
    if (const int lost = firstEntryLostInFile(first.app.phonebook)) {
        fuzz::check(refused(first.screen) && first.screen.messageTexts().back().starts_with(
                                                 "Muistipaikan " + std::to_string(lost) + " nimessä"),
                    "a save that would lose an entry is refused naming it");
        return 0;
    }
    fuzz::check(first.screen.messageTexts().empty(), "the save succeeds");
    fuzz::check(fuzz::readFile(saved) == phonebookFileText(first.app.phonebook), "the save writes the phonebook");

    Rig second;
    second.screen.fileAnswers.push_back(chosen(saved));
    avaa(second.app);
    fuzz::check(entries(second.app.phonebook) == entries(first.app.phonebook), "the saved file opens the same");
    return 0;
}
