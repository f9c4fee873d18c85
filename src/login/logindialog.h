#pragma once

#include "login/core/historylist.h"
#include "login/core/loginattempt.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <utility>

class QComboBox;

namespace Ui {
class TForm_Login;
}

namespace varnel {

class Prompts;
class LogDatabase;

// The login dialog: asks for user, password, database and log table, connects, checks that
// the log table can be read (or creates it) and hands over. It knows neither the main window
// nor the pages: the hand-over is a callback that the start-up code sets. The dialog destroys
// itself once a hand-over has returned; its destructor stores the login history.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    // `historyPath` is the full path of the login history file, read here and written when
    // the dialog is destroyed; empty: nothing is read or written.
    LoginDialog(LogDatabase& database, Prompts& prompts, QString historyPath,
                QWidget* parent = nullptr);
    ~LoginDialog() override;

    // Runs after a successful check or creation, with the current log table already set.
    // An error it raises ends the login at that point and reaches the default error display;
    // the dialog then stays open.
    void setHandOver(std::function<void()> handOver) { m_handOver = std::move(handOver); }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadHistory();
    void storeHistory();
    void onOkClicked();
    void onCancelClicked();
    // The drop-downs whose lists the login history keeps, each with its key, in the order of
    // kHistoryLists.
    std::array<std::pair<QComboBox*, HistoryListKey>, kHistoryLists.size()> historyBoxes() const;
    QWidget* fieldWidget(LoginField field) const;

    std::unique_ptr<Ui::TForm_Login> ui;
    LogDatabase& m_database;
    Prompts& m_prompts;
    QString m_historyPath;
    std::function<void()> m_handOver;
};

} // namespace varnel
