#include "phonebook/term_pane.h"

#include "app/app.h"

namespace puolukka {

namespace {

// The pane counts characters and its text is UTF-8: count the lead bytes.
int charCount(const std::string& text)
{
    int n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

void appendToTerm(App& app, const std::string& text)
{
    app.screen.setTermCaret(charCount(app.screen.termText()));
    app.screen.termInsert(text);
}

void releaseTerminal(App& app)
{
    if (app.phonebook.EditorOpen == 0)
        app.screen.setEnabled("Term", true);
}

}  // namespace puolukka
