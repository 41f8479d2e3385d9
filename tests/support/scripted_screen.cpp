#include "scripted_screen.h"

#include <algorithm>

namespace puolukka::test {

namespace {

Answer firstButton(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return Answer::Yes;
    case Buttons::RetryCancel:
        return Answer::Retry;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    case Buttons::SaveDiscardCancel:
        return Answer::Save;
    }
    return Answer::Ok;
}

}  // namespace

std::vector<ScriptedScreen::Box> ScriptedScreen::boxes(const std::string& kind) const
{
    std::vector<Box> result;
    std::copy_if(transcript.begin(), transcript.end(), std::back_inserter(result),
                 [&](const Box& b) { return b.kind == kind; });
    return result;
}

std::vector<std::string> ScriptedScreen::messageTexts() const
{
    std::vector<std::string> texts;
    for (const Box& b : transcript)
        if (b.kind == "message")
            texts.push_back(b.text);
    return texts;
}

Answer ScriptedScreen::messageBox(const MessageBox& box)
{
    Box record;
    record.kind = "message";
    record.text = box.text;
    record.title = box.title;
    record.buttons = box.buttons;
    record.icon = box.icon;
    record.defaultButton = box.defaultButton;
    transcript.push_back(record);
    if (messageAnswers.empty())
        return firstButton(box.buttons);
    const Answer a = messageAnswers.front();
    messageAnswers.pop_front();
    return a;
}

std::string ScriptedScreen::inputBox(const std::string& prompt, const std::string& title,
                                     const std::string& defaultText)
{
    Box record;
    record.kind = "input";
    record.text = prompt;
    record.title = title;
    record.defaultText = defaultText;
    transcript.push_back(record);
    if (inputAnswers.empty())
        return {};
    std::string a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

std::string ScriptedScreen::secretInputBox(const std::string& prompt, const std::string& title)
{
    const std::string answer = inputBox(prompt, title, "");
    transcript.back().masked = true;
    return answer;
}

FileChoice ScriptedScreen::fileDialog(const std::string& title, const std::string& filter,
                                      const std::string& fileName, bool save)
{
    Box record;
    record.kind = "file";
    record.text = title;
    record.title = title;
    record.filter = filter;
    record.save = save;
    record.defaultText = fileName;
    transcript.push_back(record);
    if (fileAnswers.empty())
        return FileChoice{};
    FileChoice a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

void ScriptedScreen::setTermText(const std::string& text)
{
    term = text;
    caret = std::min(caret, termLength(term));
}

void ScriptedScreen::setTermCaret(int position)
{
    caret = std::clamp(position, 0, termLength(term));
}

void ScriptedScreen::termInsert(const std::string& text)
{
    // The caret counts characters, as the real pane does; find its byte in the UTF-8 text.
    caret = std::clamp(caret, 0, termLength(term));
    std::size_t at = 0;
    for (int seen = 0; at < term.size(); ++at)
        if ((static_cast<unsigned char>(term[at]) & 0xC0) != 0x80 && seen++ == caret)
            break;
    term.insert(at, text);
    caret += termLength(text);
}

void ScriptedScreen::setEnabled(const std::string& name, bool enabled)
{
    if (name == "Term")
        termEnabled = enabled;
    controls[name].enabled = enabled;
}

bool ScriptedScreen::enabled(const std::string& name)
{
    if (name == "Term")
        return termEnabled;
    return controls[name].enabled;
}

void ScriptedScreen::setRange(const std::string& name, int minimum, int maximum)
{
    controls[name].minimum = minimum;
    controls[name].maximum = maximum;
}

}  // namespace puolukka::test
