#include "phonebook/phonebook_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/settings_file.h"
#include "conversions/adn_codec.h"
#include "phonebook/entry_check.h"
#include "phonebook/term_pane.h"

namespace puolukka {

namespace {

constexpr const char* kOpenTitle = "Avaa luettelo";
constexpr const char* kOpenFilter = "luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt";
constexpr const char* kSaveTitle = "Tallenna luettelo";
constexpr const char* kSaveFilter = "Luettelot (*.phb)|*.phb|Kaikki tiedostot (*.*)|*.*|Teksti (*.txt)|*.txt";
constexpr const char* kReplaceQuestion = "Korvataanko muistissa oleva luettelo?";
constexpr const char* kNothingToSave = "Ei tallennettavaa luetteloa muistissa!";
// A phonebook file holds at most a few hundred short lines; anything far
// larger is not one, and is refused before it fills the memory.
constexpr long long kMaxFileBytes = 16LL * 1024 * 1024;

void warn(App& app, const std::string& text) { showMessage(app.screen, text, kAppTitle, Icon::Exclamation); }

std::string errnoText(int error) { return std::strerror(error); }

// The whole file, byte for byte; false with a reason when it cannot be read.
bool readWholeFile(const std::string& path, std::string& content, std::string& reason)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoText(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = S_ISDIR(info.st_mode) ? "se on kansio" : "se ei ole tavallinen tiedosto";
        ::close(fd);
        return false;
    }
    if (info.st_size > kMaxFileBytes) {
        reason = "tiedosto on liian suuri luetteloksi";
        ::close(fd);
        return false;
    }
    content.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            reason = errnoText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        content.append(buffer, std::size_t(n));
        if (content.size() > std::size_t(kMaxFileBytes)) {
            reason = "tiedosto on liian suuri luetteloksi";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

// Writes the content beside the target and renames it over the target, so
// that an earlier file is either replaced whole or left as it was.
bool replaceFile(const std::string& path, const std::string& content, std::string& reason)
{
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = directory + "/." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        reason = errnoText(errno);
        return false;
    }
    temp = name.data();

    // A new file gets the usual permissions, a replaced one keeps its own.
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        reason = errnoText(written ? errno : writeError);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        reason = errnoText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool readFileContent(const std::string& path, std::string& content, std::string& reason)
{
    return readWholeFile(path, content, reason);
}

bool writeFileSafely(const std::string& path, const std::string& content, std::string& reason)
{
    return replaceFile(path, content, reason);
}

namespace {

// Whether the text before a lone LF is a whole entry: name/TON/number with a
// TON of one or two hex digits.
bool wholeEntry(const std::string& text)
{
    const EntryFields fields = splitEntry(text);
    return fields.separators == 2 && tonValue(fields.ton) >= 0;
}

// Physical lines of a file's content: the number of LF plus a last line
// without one. Counted before anything is split.
std::size_t physicalLines(const std::string& content)
{
    if (content.empty())
        return 0;
    return std::size_t(std::count(content.begin(), content.end(), '\n')) + (content.back() != '\n');
}

}  // namespace

std::vector<std::string> phonebookFileLines(const std::string& content, std::vector<int>* lineNumbers)
{
    std::vector<std::string> lines;
    std::vector<int> numbers(1);
    // Lines end in CR LF. A file without a single CR LF (edited where lines
    // end in LF) is split at every LF.
    const bool crlf = content.find("\r\n") != std::string::npos;
    std::size_t start = 0;      // where the current entry began
    std::size_t from = 0;       // where to look for the next LF
    int line = 1;               // physical line of `from`
    int entryLine = 1;          // physical line where the current entry began
    while (start < content.size()) {
        const auto lf = content.find('\n', from);
        if (lf == std::string::npos) {
            lines.push_back(content.substr(start));  // a last line without its line end
            numbers.push_back(entryLine);
            break;
        }
        const bool pair = lf > start && content[lf - 1] == '\r';
        const std::size_t end = pair ? lf - 1 : lf;
        const std::string text = content.substr(start, end - start);
        ++line;
        from = lf + 1;
        if (!crlf || pair || text.empty() || wholeEntry(text)) {
            lines.push_back(text);
            numbers.push_back(entryLine);
            start = from;
            entryLine = line;
        }
    }
    if (lineNumbers)
        *lineNumbers = std::move(numbers);
    return lines;
}

std::string phonebookFileText(const Phonebook& book)
{
    std::string text;
    for (int k = 1; k <= book.PBCount && k < int(book.PBEntry.size()); ++k)
        text += book.PBEntry[std::size_t(k)] + "\r\n";
    return text;
}

int firstEntryLostInFile(const Phonebook& book)
{
    const std::vector<std::string> back = phonebookFileLines(phonebookFileText(book));
    for (int k = 1; k <= book.PBCount && k < int(book.PBEntry.size()); ++k)
        if (std::size_t(k) > back.size() || back[std::size_t(k - 1)] != book.PBEntry[std::size_t(k)])
            return k;
    return 0;
}

// The phonebook file dialog; a cancel hands the terminal back with the focus
// and leaves the path empty.
static FileChoice askFile(App& app, const char* title, const char* filter, bool save)
{
    FileChoice choice = app.screen.fileDialog(title, filter, "", save);
    if (choice.cancelled) {
        releaseTerminal(app);
        app.screen.setFocus("Term");
        choice.path.clear();
    }
    return choice;
}

bool confirmReplace(App& app)
{
    const MessageBox box{kReplaceQuestion, kAppTitle, Buttons::YesNo, Icon::Question, Answer::No};
    const bool yes = app.screen.messageBox(box) == Answer::Yes;
    app.card.AnswerHex = yes ? "6" : "7";
    return yes;
}

void avaa(App& app)
{
    app.screen.setEnabled("Term", false);
    const TerminalRelease release(app);
    if (app.phonebook.PBCount != 0 && !confirmReplace(app))
        return;
    const FileChoice choice = askFile(app, kOpenTitle, kOpenFilter, false);
    if (choice.path.empty())
        return;

    // The whole file is read before anything is replaced: a file that cannot
    // be read leaves the phonebook as it was.
    std::string content;
    std::string reason;
    if (!readWholeFile(choice.path, content, reason)) {
        warn(app, "Luetteloa ei voitu lukea tiedostosta " + choice.path + " (" + reason
                      + "). Muistissa oleva luettelo säilyi ennallaan.");
        return;
    }
    const std::size_t lineCount = physicalLines(content);
    if (lineCount > kMaxFileEntries) {
        warn(app, "Tiedostossa " + choice.path + " on " + std::to_string(lineCount)
                      + " riviä. Luettelossa voi olla enintään " + std::to_string(kMaxFileEntries)
                      + " muistipaikkaa (SIM-kortilla enintään 255), joten tiedosto ei ole luettelo. "
                        "Muistissa oleva luettelo säilyi ennallaan.");
        return;
    }
    std::vector<int> lineNumbers;
    const std::vector<std::string> lines = phonebookFileLines(content, &lineNumbers);
    std::vector<std::string> entries(1);
    entries.reserve(lines.size() + 1);
    for (const std::string& line : lines) {
        entries.push_back(tidyEntry(line));
        app.screen.setText("RinProc2", numberWithSign(long(entries.size() - 1)));
    }
    const std::vector<EntryFault> faults = entryFaults(entries, lineNumbers);
    if (!faults.empty()) {
        const std::string count = faults.size() == 1
                                      ? "1 muistipaikka, jota"
                                      : std::to_string(faults.size()) + " muistipaikkaa, joita";
        const MessageBox box{"Tiedostossa on " + count + " ei voi kirjoittaa kortille sellaisenaan:\n"
                                 + faultList(faults, "rivi")
                                 + "\nNiitä ei kirjoiteta kortille ennen kuin ne on korjattu. Avataanko luettelo silti?",
                             kAppTitle, Buttons::YesNo, Icon::Exclamation, Answer::No};
        if (app.screen.messageBox(box) != Answer::Yes)
            return;
    }
    app.phonebook.PBEntry = std::move(entries);
    app.phonebook.PBCount = int(lines.size());
    app.phonebook.Changed = false;
    app.screen.setEnabled("WritePB", true);
}

void SavePB_Click(App& app)
{
    app.screen.setEnabled("Term", false);
    const TerminalRelease release(app);
    if (app.phonebook.PBCount == 0) {
        warn(app, kNothingToSave);
        return;
    }
    const FileChoice choice = askFile(app, kSaveTitle, kSaveFilter, true);
    if (choice.path.empty())
        return;
    if (const int lost = firstEntryLostInFile(app.phonebook)) {
        warn(app, "Muistipaikan " + std::to_string(lost) + " nimessä (\""
                      + printableName(splitEntry(app.phonebook.PBEntry[std::size_t(lost)]).name)
                      + "\") on rivinvaihto, jota luettelotiedosto ei voi säilyttää. Luetteloa ei tallennettu.");
        return;
    }
    std::string reason;
    if (!replaceFile(choice.path, phonebookFileText(app.phonebook), reason)) {
        warn(app, "Luetteloa ei voitu tallentaa tiedostoon " + choice.path + " (" + reason
                      + "). Aiempi tiedosto säilyi ennallaan.");
        return;
    }
    app.phonebook.Changed = false;
}

bool askSaveBeforeQuit(App& app)
{
    if (!app.phonebook.Changed || app.phonebook.PBCount == 0)
        return true;
    const MessageBox box{"Muistissa olevaa luetteloa on muutettu, eikä muutoksia ole tallennettu tiedostoon tai "
                         "SIM-kortille. Tallennetaanko luettelo ennen lopetusta?",
                         kAppTitle, Buttons::SaveDiscardCancel, Icon::Question, Answer::Save};
    switch (app.screen.messageBox(box)) {
    case Answer::Save:
        SavePB_Click(app);
        return !app.phonebook.Changed;  // a cancelled or failed save keeps the program open
    case Answer::Discard:
        return true;
    default:
        return false;
    }
}

}  // namespace puolukka
