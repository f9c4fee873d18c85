#include "scriptedprompts.h"

#include <gtest/gtest.h>

namespace varnel::test {

void ScriptedPrompts::record(Shown s)
{
    shown.push_back(s);
    if (whileShown)
        whileShown(shown.back());
}

QStringList ScriptedPrompts::texts() const
{
    QStringList result;
    for (const auto& s : shown)
        result << s.text;
    return result;
}

void ScriptedPrompts::message(const QString& text)
{
    record({Kind::Message, {}, text});
}

bool ScriptedPrompts::nextAnswer(const QString& question)
{
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << question.toStdString();
        return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedPrompts::confirm(QWidget* owner, const QString& title, const QString& question)
{
    record({Kind::Confirm, title, question, owner});
    if (real)
        return real->confirm(owner, title, question);
    return nextAnswer(question);
}

bool ScriptedPrompts::confirmOkCancel(QWidget* owner, const QString& question)
{
    record({Kind::OkCancel, {}, question, owner});
    return nextAnswer(question);
}

QString ScriptedPrompts::saveFileName(QWidget* owner, const SaveFileRequest& request)
{
    saveRequests.push_back(request);
    record({Kind::SaveFile, request.title, request.fileName, owner});
    if (real)
        return real->saveFileName(owner, request);
    if (fileNames.empty()) {
        ADD_FAILURE() << "unexpected save dialog";
        return {};
    }
    QString answer = fileNames.front();
    fileNames.pop_front();
    return answer;
}

void ScriptedPrompts::showError(const QString& text)
{
    record({Kind::Error, {}, text});
}

void ScriptedPrompts::status(const QString& text)
{
    record({Kind::Status, {}, text});
}

} // namespace varnel::test
