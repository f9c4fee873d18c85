#include "common/session.h"

#include "app/mainwindow.h"
#include "browse/dblookupcombobox.h"
#include "browse/loggrid.h"
#include "browse/loggridmodel.h"
#include "db/logdatabase.h"
#include "login/logindialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace varnel::test {

Session::Session(const QString& historyPath, Connection::EngineFactory engines)
    : m_startup(prompts, historyPath, std::move(engines))
{
    m_startup.start(std::chrono::milliseconds(0));
    QApplication::setActiveWindow(m_startup.loginDialog());
}

Session::~Session() = default;

LogDatabase& Session::data()
{
    return m_startup.database();
}

ProgressWait& Session::progressWait()
{
    return m_startup.progressWait();
}

LoginDialog* Session::dialog() const
{
    return m_startup.loginDialog();
}

MainWindow* Session::window() const
{
    return m_startup.mainWindow();
}

LogGrid* Session::grid() const
{
    return find<LogGrid>("DBGridMain");
}

QWidget* Session::findWidget(const char* name) const
{
    QWidget* top = window() ? static_cast<QWidget*>(window()) : dialog();
    QWidget* widget = top ? top->findChild<QWidget*>(QLatin1String(name)) : nullptr;
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

bool Session::login(const Login& login)
{
    find<QComboBox>("ComboBox_User")->setEditText(login.user);
    find<QLineEdit>("Edit_Password")->setText(login.password);
    find<QComboBox>("ComboBox_Base")->setEditText(login.base);
    find<QComboBox>("ComboBox_Table")->setEditText(login.table);
    find<QCheckBox>("CheckBoxCreateTable")->setChecked(login.create);
    if (login.create)
        prompts.answers.push_back(true);
    click("BitBtn_OK");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!window())
        return false;
    window()->show();
    QApplication::setActiveWindow(window());
    return true;
}

void Session::click(const char* name)
{
    QWidget* button = findWidget(name);
    if (window()) {
        auto* pages = window()->findChild<QTabWidget*>(QStringLiteral("PageControl"));
        for (int page = 0; page < pages->count(); ++page)
            if (pages->widget(page)->isAncestorOf(button))
                pages->setCurrentIndex(page);
    }
    QTest::mouseClick(button, Qt::LeftButton);
}

QStringList Session::entries(const char* list) const
{
    const auto* box = find<DBLookupComboBox>(list);
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

bool Session::choose(const char* list, const QString& entry)
{
    auto* box = find<DBLookupComboBox>(list);
    const int index = box->findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    window()->findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(0);
    box->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    const bool chosen = box->currentIndex() == index;
    QTest::keyClick(box, Qt::Key_Tab);
    return chosen;
}

void Session::titleClick(const QString& field)
{
    // The titles take their places from the event loop, after the grid has changed.
    QCoreApplication::processEvents();
    QHeaderView* titles = grid()->horizontalHeader();
    int column = 0;
    while (column + 1 < titles->count() && grid()->fieldName(column) != field)
        ++column;
    const QPoint at(titles->sectionViewportPosition(column) + 5, titles->height() / 2);
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {}, at);
}

void Session::deleteRow(int row)
{
    window()->findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(0);
    LogGrid* view = grid();
    view->setFocus();
    const QModelIndex current = view->currentIndex();
    view->setCurrentIndex(view->model()->index(row, current.isValid() ? current.column() : 1));
    prompts.answers.push_back(true);
    QTest::keyClick(view, Qt::Key_Delete, Qt::ControlModifier);
}

void Session::setPeriod(const std::optional<Period>& period)
{
    auto* box = find<QCheckBox>("CheckBoxClearLogTable");
    if (box->isChecked() != period.has_value())
        click("CheckBoxClearLogTable");
    if (period) {
        find<QDateEdit>("DateTimePickerClearFrom")->setDate(period->from);
        find<QDateEdit>("DateTimePickerClearTo")->setDate(period->to);
    }
}

void Session::deletePeriod(const std::optional<Period>& period)
{
    setPeriod(period);
    prompts.answers.push_back(true);
    click("BitBtnClearLogTable");
}

void Session::exportTo(const QString& path, const std::optional<Period>& period)
{
    setPeriod(period);
    prompts.fileNames.push_back(path);
    click("BitBtnExport");
}

QString Session::countRecords(const std::optional<Period>& period)
{
    setPeriod(period);
    click("BitBtnCountRecords");
    return find<QLabel>("LabelRecordCount")->text();
}

QStringList Session::column(const QString& field) const
{
    const LogGridModel* model = grid()->gridModel();
    QStringList texts;
    int column = 0;
    while (column < model->columnCount() && model->fieldName(column) != field)
        ++column;
    if (column == model->columnCount())
        return texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

QList<int> Session::sids() const
{
    QList<int> numbers;
    for (const QString& text : column(QStringLiteral("SID")))
        numbers << text.toInt();
    return numbers;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

QByteArray withoutStamps(QByteArray bytes)
{
    static const QRegularExpression stamp(QStringLiteral("-- (Begin|End) - [^\r\n]*\r\n"));
    return QString::fromLatin1(bytes).replace(stamp, QStringLiteral("-- \\1 - *\r\n")).toLatin1();
}

} // namespace varnel::test
