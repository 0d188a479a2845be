#pragma once
// Answers the program's questions from a script, in order, and records every
// question asked. An unscripted question is answered Ok / No / cancel and
// counted, so a test can assert that nothing unexpected was asked.

#include "prompter.h"

#include <QList>
#include <QQueue>
#include <functional>

struct AskedMessage {
    QString text;
    fw::MsgButtons buttons;
    fw::MsgIcon icon;
};

class ScriptedPrompter : public fw::Prompter {
public:
    // `before` runs while the question is "open", as a modal box would let
    // socket traffic through (e.g. wait for the server to close a link).
    void QueueAnswer(fw::MsgAnswer answer, std::function<void()> before = {});
    void QueueFile(std::optional<QString> path);

    fw::MsgAnswer MessageBox(const QString& text, fw::MsgButtons buttons,
                             fw::MsgIcon icon) override;
    std::optional<QString> PromptOpenFile() override;
    std::optional<QString> PromptSaveFile() override;

    QList<AskedMessage> asked;
    int fileQuestions = 0;
    int unscripted = 0;

private:
    struct Answer {
        fw::MsgAnswer answer;
        std::function<void()> before;
    };
    QQueue<Answer> m_answers;
    QQueue<std::optional<QString>> m_files;
};
