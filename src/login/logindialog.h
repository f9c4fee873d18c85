#pragma once

#include <QDialog>

#include <functional>
#include <memory>

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
    // the dialog is destroyed.
    LoginDialog(LogDatabase& database, Prompts& prompts, QString historyPath,
                QWidget* parent = nullptr);
    ~LoginDialog() override;

    // Runs after a successful check or creation, with the current log table already set.
    // An error it raises ends the login at that point and reaches the default error display;
    // the dialog then stays open.
    void setHandOver(std::function<void()> handOver) { m_handOver = std::move(handOver); }

    // The history list of the drop-down named `name` (any case) appends the entries of
    // `value`; another name adds nothing.
    void Import_Into_ComboBox_From_INI(const QString& name, const QString& value);
    // The history list to store for the drop-down named `name`; empty for another name.
    QString Export_From_ComboBox_Into_INI(const QString& name) const;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadHistory();
    void storeHistory();
    void onOkClicked();
    void onCancelClicked();
    QComboBox* historyBox(const QString& name) const;

    std::unique_ptr<Ui::TForm_Login> ui;
    LogDatabase& m_database;
    Prompts& m_prompts;
    QString m_historyPath;
    std::function<void()> m_handOver;
};

} // namespace varnel
