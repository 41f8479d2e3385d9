#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/screen.h"

namespace puolukka::test {

// A screen for tests: answers come from queues, every box is kept in a
// transcript, and every named control is a plain record.
class ScriptedScreen : public Screen {
public:
    struct Control {
        std::string text;
        bool enabled = true;
        bool visible = false;
        bool focused = false;
        int maxLength = 0;
        int minimum = 0;
        int maximum = 100;
        int value = 0;
    };
    struct Box {
        std::string kind;  // "message", "input", "file"
        std::string text;  // message text, or the input prompt, or the dialog title
        std::string title;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        Answer defaultButton = Answer::Ok;
        std::string filter;  // file dialogs
        bool save = false;   // file dialogs
        std::string defaultText;  // input boxes
        bool masked = false;      // input boxes: a secret code, typed unseen
    };

    // Queued answers; an empty queue answers a message box with its first
    // button (OK, Yes, Retry, Abort or Save), an input box (also a secret one)
    // with "" (cancel) and a file dialog with cancel.
    std::deque<Answer> messageAnswers;
    std::deque<std::string> inputAnswers;
    std::deque<FileChoice> fileAnswers;

    std::vector<Box> transcript;
    std::map<std::string, Control> controls;
    int beeps = 0;
    int processEventsCalls = 0;

    std::string term;  // the terminal pane's text
    int caret = 0;     // in characters (termLength), as the screen seam counts
    bool termEnabled = true;

    // The boxes of one kind, in order.
    std::vector<Box> boxes(const std::string& kind) const;
    std::vector<std::string> messageTexts() const;
    void clearTranscript() { transcript.clear(); }

    Answer messageBox(const MessageBox& box) override;
    std::string inputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override;
    std::string secretInputBox(const std::string& prompt, const std::string& title) override;
    FileChoice fileDialog(const std::string& title, const std::string& filter,
                          const std::string& fileName, bool save) override;
    void beep() override { ++beeps; }

    std::string termText() override { return term; }
    void setTermText(const std::string& text) override;
    void setTermCaret(int position) override;
    void termInsert(const std::string& text) override;

    void setText(const std::string& name, const std::string& text) override { controls[name].text = text; }
    std::string text(const std::string& name) override { return controls[name].text; }
    void setEnabled(const std::string& name, bool enabled) override;
    bool enabled(const std::string& name) override;
    void setVisible(const std::string& name, bool visible) override { controls[name].visible = visible; }
    bool visible(const std::string& name) override { return controls[name].visible; }
    void setFocus(const std::string& name) override { controls[name].focused = true; }
    void setMaxLength(const std::string& name, int length) override { controls[name].maxLength = length; }
    void setRange(const std::string& name, int minimum, int maximum) override;
    void setValue(const std::string& name, int value) override { controls[name].value = value; }
    int value(const std::string& name) override { return controls[name].value; }
    void processEvents() override { ++processEventsCalls; }
};

}  // namespace puolukka::test
