#pragma once

#include <string>

namespace puolukka {

// The buttons a message box offers.
// SaveDiscardCancel: "Tallenna" / "Älä tallenna" / "Peruuta".
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore, SaveDiscardCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
// What the user answered.
enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore, Save, Discard };

// The program's title, shown by every message box that has no title of its own.
inline constexpr const char* kAppTitle = "Puolukka";

struct MessageBox {
    std::string text;
    std::string title = kAppTitle;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    // The button that Enter presses; Answer::Ok means "the first one".
    Answer defaultButton = Answer::Ok;
};

struct FileChoice {
    bool cancelled = true;
    std::string path;       // full path chosen
    std::string fileTitle;  // the file's name without its folder
};

// Everything the operations show to or ask of the user. Production draws Qt
// widgets; tests use a scripted screen. All texts are UTF-8.
//
// Controls and windows are addressed by their names: a plain name ("Label3",
// "PIN1Valid", "GetResp3", "RinProc2", "ProgressBar1", "GRL2") is looked up in the
// main window Form1, the progress window Form2 and the description window
// Gresponse; a window itself is addressed by its name ("Form1", "Form2",
// "Gresponse"), where the text is its title.
class Screen {
public:
    virtual ~Screen() = default;

    virtual Answer messageBox(const MessageBox& box) = 0;
    // Returns the typed text; empty when the user cancels.
    virtual std::string inputBox(const std::string& prompt, const std::string& title,
                                 const std::string& defaultText = {}) = 0;
    // The same for a secret code (PIN, PUK): what is typed is not shown.
    virtual std::string secretInputBox(const std::string& prompt, const std::string& title) = 0;
    // filter is "description|pattern|description|pattern...".
    virtual FileChoice fileDialog(const std::string& title, const std::string& filter,
                                  const std::string& fileName, bool save) = 0;
    virtual void beep() = 0;

    // The terminal pane Term. Positions count characters of the UTF-8 text from
    // 0, as termLength() does: "ä" is one, a CR LF line end two.
    virtual std::string termText() = 0;
    virtual void setTermText(const std::string& text) = 0;
    virtual void setTermCaret(int position) = 0;
    virtual void termInsert(const std::string& text) = 0;  // at the caret, which moves past it

    // Named controls: caption of a label, frame, button or window; text of a field.
    virtual void setText(const std::string& name, const std::string& text) = 0;
    virtual std::string text(const std::string& name) = 0;
    virtual void setEnabled(const std::string& name, bool enabled) = 0;
    virtual bool enabled(const std::string& name) = 0;
    // For a window: show (not modal) or hide it.
    virtual void setVisible(const std::string& name, bool visible) = 0;
    virtual bool visible(const std::string& name) = 0;
    virtual void setFocus(const std::string& name) = 0;
    // Text fields.
    virtual void setMaxLength(const std::string& name, int length) = 0;
    // Progress bars.
    virtual void setRange(const std::string& name, int minimum, int maximum) = 0;
    virtual void setValue(const std::string& name, int value) = 0;
    virtual int value(const std::string& name) = 0;

    // Lets the windows repaint and deliver pending events (used only where the
    // program waits for the port to drain at shutdown).
    virtual void processEvents() = 0;
};

// Length of a text as the terminal pane counts positions: one for each
// character of the UTF-8 text (each byte that does not continue a character).
inline int termLength(const std::string& text)
{
    int count = 0;
    for (char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// Shorthand for the common box with an OK button.
inline Answer showMessage(Screen& screen, const std::string& text,
                          const std::string& title = kAppTitle, Icon icon = Icon::None)
{
    return screen.messageBox(MessageBox{text, title, Buttons::Ok, icon, Answer::Ok});
}

}  // namespace puolukka
