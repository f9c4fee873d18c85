#pragma once

#include "ui/core/prompts.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace varnel::test {

// Stands in for the person answering message boxes: records what the program showed and
// answers from a script. A question that finds the script empty fails the test and answers
// No/Cancel, so a forgotten answer can never proceed with something destructive.
class ScriptedPrompts : public Prompts {
public:
    enum class Kind { Message, Confirm, OkCancel, SaveFile, Error, Status };
    struct Shown {
        Kind kind;
        QString title;
        QString text;
        QWidget* owner = nullptr;
    };

    void message(const QString& text) override;
    bool confirm(QWidget* owner, const QString& title, const QString& question) override;
    bool confirmOkCancel(QWidget* owner, const QString& question) override;
    QString saveFileName(QWidget* owner, const SaveFileRequest& request) override;
    void showError(const QString& text) override;
    void status(const QString& text) override;

    // Answers for confirm and confirmOkCancel, taken in order.
    std::deque<bool> answers;
    // Answers for saveFileName, taken in order; an empty text means the user cancelled.
    std::deque<QString> fileNames;
    // Runs while a box is "open", after it was recorded: lets a test look at the windows then.
    std::function<void(const Shown&)> whileShown;
    // When set, questions and save dialogs are recorded and then shown for real by these
    // prompts, for a test that drives the real boxes as a person would.
    Prompts* real = nullptr;

    std::vector<Shown> shown;
    QStringList texts() const;
    std::vector<SaveFileRequest> saveRequests;

private:
    void record(Shown s);
    bool nextAnswer(const QString& question);
};

} // namespace varnel::test
