#include "login/logindialog.h"

#include "base/localetext.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "db/logtableschema.h"
#include "login/core/historyfile.h"
#include "login/inlinecompletion.h"
#include "ui/core/errortext.h"
#include "ui/core/guard.h"
#include "ui/core/prompts.h"
#include "ui/windowsupport.h"
#include "ui_logindialog.h"

#include <QLineEdit>

#include <optional>

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
    QList<std::pair<QString, QString>> values;
    for (const auto& [box, list] : historyBoxes()) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        values.append(
            {list.key, serialiseHistoryList(box->currentText(), items, box->currentIndex())});
    }
    LoginHistoryFile(m_historyPath).writeStrings(kHistorySection, values);
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

void LoginDialog::onOkClicked()
{
    const QString user = ui->ComboBox_User->currentText();
    const QString base = ui->ComboBox_Base->currentText();
    const QString table = ui->ComboBox_Table->currentText();
    const QString password = ui->Edit_Password->text();

    if (user.isEmpty() || base.isEmpty() || table.isEmpty() || password.isEmpty()) {
        m_prompts.message(QStringLiteral("Введены не все параметры!"));
        // Each empty field takes the focus in turn, so the last empty one keeps it.
        if (user.isEmpty())
            ui->ComboBox_User->setFocus();
        if (base.isEmpty())
            ui->ComboBox_Base->setFocus();
        if (table.isEmpty())
            ui->ComboBox_Table->setFocus();
        if (password.isEmpty())
            ui->Edit_Password->setFocus();
        return;
    }

    // The name stands verbatim in every statement of the program: nothing that is not a
    // table's name may reach the database.
    if (!isOracleTableName(table)) {
        m_prompts.message(QStringLiteral("Неверное имя таблицы логов: «") + table +
                          QStringLiteral("»"));
        ui->ComboBox_Table->setFocus();
        return;
    }

    Connection& connection = m_database.connection();
    Dataset& probe = m_database.mainDataset();

    // A connection left open (creation refused, failed hand-over) is reopened only when the
    // user changed what it points at: a corrected database name must reach that database.
    const QString connectionString = buildConnectionString(password, user, base);
    if (connection.connectionString() != connectionString)
        connection.setConnectionString(connectionString);
    try {
        connection.connect();
    } catch (const DbError& e) {
        m_prompts.message(databaseErrorText(e.message()));
        probe.close();
        connection.disconnect();
        return;
    }

    QString fieldProblem;
    if (ui->CheckBoxCreateTable->isChecked()) {
        const QString shownName = LocaleText::current().upper(table);
        if (!m_prompts.confirm(this, QStringLiteral("Создать таблицу логов?"),
                               QStringLiteral("Вы действительно хотите создать таблицу логов \"") +
                                   shownName + QStringLiteral("\"?")))
            return;
        // A failed creation is shown before disconnecting: a user without the right to
        // create a public synonym must learn why the login went no further.
        std::optional<QString> failure;
        try {
            CreateLogTable(m_database, table);
        } catch (const Cancelled&) {
            // As after a failure of the next step, what was created stays; nothing is shown.
            connection.disconnect();
            throw;
        } catch (...) {
            failure = messageOfCurrentError();
        }
        if (failure) {
            m_prompts.message(databaseErrorText(*failure));
            connection.disconnect();
            return;
        }
        m_prompts.message(QStringLiteral("Таблица логов \"") + shownName +
                          QStringLiteral("создана!"));
    } else {
        try {
            probe.clearText();
            probe.setText(QStringLiteral("Select * from ") + table +
                          QStringLiteral(" where rownum=1"));
            probe.setWaitTitle(QStringLiteral("Проверка таблицы логов"));
            probe.open();
        } catch (const DbError& e) {
            m_prompts.message(databaseErrorText(e.message()));
            probe.close();
            connection.disconnect();
            return;
        } catch (const Cancelled&) {
            probe.close();
            connection.disconnect();
            throw;
        }
        fieldProblem = logTableFieldProblem(probe.rows(), LocaleText::current().upper(table));
        probe.close();
    }

    m_database.setCurrentLogTable(table);
    // Like a table without the log's columns, which the filter lists of the hand-over meet:
    // the dialog stays, connected, and no main window opens.
    if (!fieldProblem.isEmpty())
        throw Error(fieldProblem);
    if (m_handOver)
        m_handOver();
    deleteLater();
}

} // namespace varnel
