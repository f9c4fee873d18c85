#include "login/logindialog.h"

#include "base/error.h"
#include "base/localetext.h"
#include "login/core/historyfile.h"
#include "login/inlinecompletion.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"
#include "ui/windowsupport.h"
#include "ui_logindialog.h"

#include <QLineEdit>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace varnel {

namespace {

void activateUsEnglishLayout()
{
#ifdef Q_OS_WIN
    LoadKeyboardLayoutW(L"00000409", KLF_ACTIVATE);
#endif
    // Elsewhere the desktop owns the keyboard layout (X11 and Wayland give a program no
    // sound way to switch it for itself), so nothing is done.
}

} // namespace

LoginDialog::LoginDialog(LogDatabase& database, Prompts& prompts, QString historyPath,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      ui(std::make_unique<Ui::TForm_Login>()), m_database(database), m_prompts(prompts),
      m_historyPath(std::move(historyPath))
{
    ui->setupUi(this);
    applyPixelSizes(*this);
    takeWheelAsArrows(*this);
    // A top-level window's position is not taken from its form.
    move(244, 103);
    for (const auto& [box, list] : historyBoxes()) {
        InlineCompletion::attach(box);
        setItemHeight(*box, 15);
    }

    connect(ui->BitBtn_OK, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onOkClicked(); }));
    connect(ui->BitBtn_Cancel, &QPushButton::clicked, this,
            guarded(m_prompts, [this] { onCancelClicked(); }));
    loadHistory();
}

LoginDialog::~LoginDialog()
{
    // Destruction goes on whatever the save meets: a failed write is shown, not thrown.
    runGuarded(m_prompts, [this] { storeHistory(); });
}

std::array<std::pair<QComboBox*, HistoryListKey>, kHistoryLists.size()>
LoginDialog::historyBoxes() const
{
    return {{{ui->ComboBox_User, kUserHistory},
             {ui->ComboBox_Base, kBaseHistory},
             {ui->ComboBox_Table, kTableHistory}}};
}

void LoginDialog::loadHistory()
{
    const LoginHistoryFile history(m_historyPath);
    for (const auto& [box, list] : historyBoxes())
        box->addItems(parseHistoryList(history.readString(kHistorySection, list.key)));
    for (const auto& [box, list] : historyBoxes())
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);
    activateUsEnglishLayout();
}

void LoginDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The user field opens with the focus and its remembered text selected, as a native
    // dialog does, so that typing replaces the text instead of adding to it.
    ui->ComboBox_User->lineEdit()->selectAll();
}

void LoginDialog::storeHistory()
{
    if (m_historyPath.isEmpty())
        return;
    LoginHistoryFile history(m_historyPath);
    QList<std::pair<QString, QString>> values;
    for (const auto& [box, list] : historyBoxes()) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        // Another run of the program may have saved its login since this dialog read the file.
        const QStringList stored = parseHistoryList(history.readString(kHistorySection, list.key));
        values.append(
            {list.key, mergeHistoryList(box->currentText(), items, box->currentIndex(), stored)});
    }
    history.writeStrings(kHistorySection, values);
}

void LoginDialog::reject()
{
    // Escape and the close box end the program like "Отмена" while this is the main window.
    onCancelClicked();
}

void LoginDialog::onCancelClicked()
{
    QDialog::reject();
}

QWidget* LoginDialog::fieldWidget(LoginField field) const
{
    switch (field) {
    case LoginField::User:
        return ui->ComboBox_User;
    case LoginField::Password:
        return ui->Edit_Password;
    case LoginField::Base:
        return ui->ComboBox_Base;
    case LoginField::Table:
        return ui->ComboBox_Table;
    case LoginField::None:
        break;
    }
    return nullptr;
}

void LoginDialog::onOkClicked()
{
    const LoginFields fields{ui->ComboBox_User->currentText(), ui->Edit_Password->text(),
                             ui->ComboBox_Base->currentText(), ui->ComboBox_Table->currentText(),
                             ui->CheckBoxCreateTable->isChecked()};
    const LoginPrompts prompts{[this](const QString& text) { m_prompts.message(text); },
                               [this](const QString& title, const QString& question) {
                                   return m_prompts.confirm(this, title, question);
                               }};
    const LoginOutcome outcome = attemptLogin(m_database, fields, LocaleText::current(), prompts);
    if (QWidget* field = fieldWidget(outcome.focus))
        field->setFocus();
    // Like a table without the log's columns, which the filter lists of the hand-over meet:
    // the dialog stays, connected, and no main window opens.
    if (outcome.failedStep == LoginStep::TableFields)
        throw Error(outcome.message);
    if (outcome.failedStep != LoginStep::None)
        return;
    if (m_handOver)
        m_handOver();
    deleteLater();
}

} // namespace varnel
