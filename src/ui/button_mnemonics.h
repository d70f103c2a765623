// Keyboard access to a dialog's standard buttons: Qt's own "OK" and
// "Cancel" carry no mnemonic on every platform; these do (Alt+O, Alt+C),
// and still show "OK" and "Cancel".
#pragma once

class QDialogButtonBox;

namespace gantrell::ui {

void GiveMnemonics(QDialogButtonBox& buttons);

}  // namespace gantrell::ui
