// Qt's own texts (Yes/No of message boxes, Cancel and the like in file dialogs) in the
// window's language.
#pragma once

namespace locket {

// Korean: installs Qt's base translation (qtbase_ko.qm from Qt's translations folder) in the
// application; any other language: removes it. False, with a trace line, when Korean was asked
// and the translation does not load (Qt's texts then stay English).
bool ApplyQtTranslation(int langId);

}  // namespace locket
