#include "filesystem/explorer.h"

#include "app/app.h"
#include "filesystem/catalogue.h"
#include "filesystem/hex_text.h"
#include "filesystem/selection.h"

namespace puolukka {

void EFDF_Click(App& app)
{
    app.card.ShowInTerminal = 1;
    const std::string typed = app.screen.inputBox("Please enter EF/DF Standard NAME :", "SELECT EF or DF", "");
    if (typed.empty())
        return;
    // Compared as typed: a leading or trailing blank makes it another text.
    const std::string name = upperCase(typed);

    if (const CatalogueRow* row = findCatalogueRow(name)) {
        selectCatalogueRow(app, *row, name);
        app.card.CurrentDirectory = std::string(row->directory);
        app.card.CurrentFile = std::string(row->file);
    } else if (characterCount(name) > 4) {
        showMessage(app.screen, " Wrong File identifier '");
        return;
    } else {
        // Anything short is tried as an identifier in the card's current directory.
        SelCmd(app, identifierDigits(name), name);
        app.card.CurrentFile = "EF-" + name + "-????";
    }
    app.screen.setText("Label3", " " + app.card.CurrentDirectory);
    app.screen.setEnabled("GetResp3", true);
    app.card.ShowInTerminal = 1;
}

}  // namespace puolukka
