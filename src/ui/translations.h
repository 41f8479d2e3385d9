#pragma once

class QTranslator;

namespace puolukka {

// Qt's own texts (standard buttons, file dialogs) in Finnish, like the
// program's: loads qtbase_fi from Qt's translations folder (Debian's
// qt6-translations-l10n) into translator and installs it. Returns false,
// leaving Qt's English texts, when the file is not there.
bool installQtFinnish(QTranslator& translator);

}  // namespace puolukka
