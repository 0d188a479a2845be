#include "scriptedprompter.h"

void ScriptedPrompter::QueueAnswer(fw::MsgAnswer answer, std::function<void()> before)
{
    m_answers.enqueue({answer, std::move(before)});
}

void ScriptedPrompter::QueueFile(std::optional<QString> path)
{
    m_files.enqueue(std::move(path));
}

fw::MsgAnswer ScriptedPrompter::MessageBox(const QString& text, fw::MsgButtons buttons,
                                           fw::MsgIcon icon)
{
    asked.append({text, buttons, icon});
    if (m_answers.isEmpty()) {
        ++unscripted;
        return buttons == fw::MsgButtons::YesNo ? fw::MsgAnswer::No : fw::MsgAnswer::Ok;
    }
    Answer next = m_answers.dequeue();
    if (next.before)
        next.before();
    return next.answer;
}

std::optional<QString> ScriptedPrompter::PromptOpenFile()
{
    ++fileQuestions;
    if (m_files.isEmpty()) {
        ++unscripted;
        return std::nullopt;
    }
    return m_files.dequeue();
}

std::optional<QString> ScriptedPrompter::PromptSaveFile()
{
    return PromptOpenFile();
}
