#include "phonebook/term_pane.h"

#include "app/app.h"

namespace puolukka {

void appendToTerm(App& app, const std::string& text)
{
    app.screen.setTermCaret(termLength(app.screen.termText()));
    app.screen.termInsert(text);
}

void releaseTerminal(App& app)
{
    if (app.phonebook.EditorOpen == 0)
        app.screen.setEnabled("Term", true);
}

}  // namespace puolukka
